// SPDX-License-Identifier: MIT
#include "app/replay_control.h"

#include "app/program.h"
#include "gfx/memory_platform.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <sys/resource.h>
#endif

namespace tambrel {

namespace {
constexpr double kFastSliceMs = 12;  // "as fast as it goes": replaying this long per tick
constexpr int kMostStepsPerTick = 4000; // a window that stalled catches up without freezing
constexpr int kCopySteps = 64;         // the copies' and seeks' replays check for a stop this often
constexpr double kSeekSliceMs = 10;    // without threads: a seek's share of each frame

double steadyMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

size_t stateBytes(const ProgramState& s)
{
    return sizeof(ProgramState) + size_t{Canvas::kWidth} * Canvas::kHeight * 4 +
           (s.pixelBuffer.exists() ? size_t{PixelBuffer::kWidth} * PixelBuffer::kHeight * 4 : 0);
}
} // namespace

void lowerThreadPriority()
{
#if defined(_WIN32)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#elif defined(__linux__)
    setpriority(PRIO_PROCESS, 0, 10); // Linux: the calling thread alone
#endif
}

ReplayCopies::ReplayCopies(const Session& session)
    : m_platform(std::make_unique<MemoryPlatform>()), m_view(std::make_unique<MemoryDialogView>()),
      m_program(std::make_unique<Program>(*m_platform, *m_view))
{
    m_program->recorder().setEnabled(false); // it only replays, for its copies
    m_replay = std::make_unique<SessionReplay>(*m_program, session);
    m_replay->begin();
}

ReplayCopies::~ReplayCopies() = default;

bool ReplayCopies::advance(int steps)
{
    if (m_done.load()) return false;
    for (int n = 0; n < steps; ++n) {
        // A copy is taken before a pass, where a replay can start.
        if (m_replay->nextIsPass() && m_replay->nextTimeMs() >= m_nextMs) keep();
        const SessionReplay::Step s = m_replay->step();
        m_reachMs.store(m_replay->nextTimeMs());
        if (s != SessionReplay::Step::Ran) {
            m_reachMs.store(m_replay->session().durationMs);
            m_done.store(true);
            return false;
        }
    }
    return true;
}

void ReplayCopies::keep()
{
    auto copy = std::make_unique<Copy>();
    m_program->saveState(copy->state);
    copy->mark = m_replay->nextMark();
    copy->timeMs = m_replay->nextTimeMs();
    std::lock_guard lock(m_mutex);
    m_copies.push_back(std::move(copy));
    size_t bytes = 0;
    for (const auto& c : m_copies) bytes += stateBytes(c->state);
    while (bytes > kBudgetBytes && m_copies.size() > 1) {
        // Every other copy goes, the first (the start) stays.
        std::vector<std::unique_ptr<Copy>> kept;
        bytes = 0;
        for (size_t i = 0; i < m_copies.size(); i += 2) {
            bytes += stateBytes(m_copies[i]->state);
            kept.push_back(std::move(m_copies[i]));
        }
        m_copies = std::move(kept);
        m_everyMs *= 2;
    }
    m_nextMs = m_copies.back()->timeMs + m_everyMs;
}

bool ReplayCopies::copyAtOrBefore(uint32_t timeMs, ProgramState& state, RecordMark& mark, uint32_t& takenMs) const
{
    std::lock_guard lock(m_mutex);
    const Copy* best = nullptr;
    for (const auto& c : m_copies)
        if (c->timeMs <= timeMs) best = c.get();
    if (!best) return false;
    state.copyFrom(best->state);
    mark = best->mark;
    takenMs = best->timeMs;
    return true;
}

size_t ReplayCopies::memoryBytes() const
{
    std::lock_guard lock(m_mutex);
    size_t bytes = 0;
    for (const auto& c : m_copies) bytes += stateBytes(c->state);
    return bytes;
}

size_t ReplayCopies::count() const
{
    std::lock_guard lock(m_mutex);
    return m_copies.size();
}

uint32_t ReplayCopies::everyMs() const
{
    std::lock_guard lock(m_mutex);
    return m_everyMs;
}

ReplaySeeker::ReplaySeeker(std::shared_ptr<const Session> session)
    : m_session(std::move(session)), m_platform(std::make_unique<MemoryPlatform>()),
      m_view(std::make_unique<MemoryDialogView>()), m_program(std::make_unique<Program>(*m_platform, *m_view))
{
    m_program->recorder().setEnabled(false); // it only replays, for the window
}

ReplaySeeker::~ReplaySeeker() = default;

void ReplaySeeker::request(uint32_t targetMs, std::unique_ptr<ProgramState> window, const RecordMark& windowMark,
                           uint32_t windowMs)
{
    {
        std::lock_guard lock(m_mutex);
        m_request.id += 1;
        m_request.targetMs = targetMs;
        m_request.window = std::move(window);
        m_request.windowMark = windowMark;
        m_request.windowMs = windowMs;
        m_request.cancelled = false;
        m_landed.reset();
    }
    m_wake.notify_all();
}

void ReplaySeeker::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_request.id += 1;
        m_request.window.reset();
        m_request.cancelled = true;
        m_landed.reset();
    }
    m_wake.notify_all();
}

bool ReplaySeeker::waitForWork(const std::atomic<bool>& stop)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [&] { return stop.load() || (m_request.id != m_workingId && !m_request.cancelled) || m_working; });
    return !stop.load();
}

void ReplaySeeker::wake()
{
    { std::lock_guard lock(m_mutex); }
    m_wake.notify_all();
}

void ReplaySeeker::startTowards(Request& request, const ReplayCopies& copies)
{
    m_targetMs = request.targetMs;
    // The start nearest before the target: where this replay stands, the
    // window's state, the newest copy, or the session's start.
    enum class From { Start, Own, Window, Copy } from = From::Start;
    uint32_t fromMs = 0;
    if (m_replay && m_replay->active() && m_replay->error().empty() && m_ranUpToMs <= m_targetMs)
        from = From::Own, fromMs = m_ranUpToMs;
    if (request.window && request.windowMs <= m_targetMs && (from == From::Start || request.windowMs > fromMs))
        from = From::Window, fromMs = request.windowMs;
    ProgramState copy;
    RecordMark copyMark;
    uint32_t copyMs = 0;
    if (copies.copyAtOrBefore(m_targetMs, copy, copyMark, copyMs) && (from == From::Start || copyMs > fromMs))
        from = From::Copy, fromMs = copyMs;

    if (from != From::Own) {
        std::unique_ptr<SessionReplay> next;
        if (from == From::Start) {
            next = std::make_unique<SessionReplay>(*m_program, *m_session);
        } else {
            m_start.copyFrom(from == From::Window ? *request.window : copy);
            next = std::make_unique<SessionReplay>(*m_program, *m_session, m_start, from == From::Window ? request.windowMark : copyMark);
        }
        // Given up, not handed back: between two replays the program's own
        // animation must not run a pass of its own.
        if (m_replay) m_replay->abandon();
        m_replay = std::move(next);
        m_replay->begin();
    }
    m_ranUpToMs = fromMs;
    m_reachMs.store(fromMs);
}

bool ReplaySeeker::work(int steps, const ReplayCopies& copies)
{
    {
        std::unique_lock lock(m_mutex);
        if (m_request.id != m_workingId) {
            m_workingId = m_request.id;
            m_working = !m_request.cancelled;
            if (!m_working) return false;
            Request request;
            request.targetMs = m_request.targetMs;
            request.window = std::move(m_request.window);
            request.windowMark = m_request.windowMark;
            request.windowMs = m_request.windowMs;
            lock.unlock();
            startTowards(request, copies);
        }
    }
    if (!m_working) return false;
    SessionReplay::Step step = SessionReplay::Step::Ran;
    for (int n = 0; n < steps && step == SessionReplay::Step::Ran && !m_replay->ended() &&
                    m_replay->nextTimeMs() <= m_targetMs;
         ++n) {
        m_ranUpToMs = std::max(m_ranUpToMs, m_replay->nextTimeMs());
        step = m_replay->step();
    }
    const bool there = step != SessionReplay::Step::Ran || m_replay->ended() || m_replay->nextTimeMs() > m_targetMs;
    if (step == SessionReplay::Step::Ran) m_ranUpToMs = std::max(m_ranUpToMs, std::min(m_targetMs, m_replay->nextTimeMs()));
    m_reachMs.store(m_ranUpToMs);
    if (!there) return true;
    auto landed = std::make_unique<Landed>();
    if (step == SessionReplay::Step::Failed) {
        landed->error = m_replay->error();
    } else {
        m_program->saveState(landed->state);
        landed->mark = m_replay->nextMark();
        landed->timeMs = m_targetMs;
        m_ranUpToMs = m_targetMs;
    }
    std::lock_guard lock(m_mutex);
    m_working = false;
    if (m_request.id == m_workingId) {
        m_landed = std::move(landed);
        m_landedId = m_workingId;
    }
    return false;
}

bool ReplaySeeker::take(Landed& landed)
{
    std::lock_guard lock(m_mutex);
    if (!m_landed || m_landedId != m_request.id) return false;
    landed.state.copyFrom(m_landed->state);
    landed.mark = m_landed->mark;
    landed.timeMs = m_landed->timeMs;
    landed.error = m_landed->error;
    m_landed.reset();
    return true;
}

ReplayControl::ReplayControl(Program& program, Session session, std::string name, bool threaded)
    : m_program(program), m_session(std::make_shared<const Session>(std::move(session))), m_name(std::move(name)),
      m_copies(*m_session), m_seeker(m_session), m_threaded(threaded), m_durationMs(m_session->durationMs)
{
    RecordCursor cursor(m_session->records);
    Record r;
    std::string error;
    while (cursor.next(r, error) && r.tag != RecordTag::End)
        if (r.tag == RecordTag::Command && r.controlId >= kFirstModeButtonId && r.controlId < kFirstModeButtonId + kModeCount)
            m_switches.push_back(r.timeMs);
    if (threaded) {
        m_thread = std::thread([this] {
            lowerThreadPriority();
            while (!m_stop.load() && m_copies.advance(kCopySteps)) {
            }
        });
        // Seeks go at the window's own priority: the user waits for them.
        m_seekThread = std::thread([this] {
            while (m_seeker.waitForWork(m_stop))
                while (!m_stop.load() && m_seeker.work(kCopySteps, m_copies)) {
                }
        });
    }
}

ReplayControl::~ReplayControl()
{
    m_stop.store(true);
    m_seeker.wake();
    if (m_thread.joinable()) m_thread.join();
    if (m_seekThread.joinable()) m_seekThread.join();
    finish();
}

void ReplayControl::start(uint32_t atMs, double wallMs)
{
    m_replay = std::make_unique<SessionReplay>(m_program, *m_session);
    m_replay->begin();
    m_positionMs = 0;
    anchor(wallMs);
    if (atMs > 0) seek(atMs, wallMs);
}

void ReplayControl::anchor(double wallMs)
{
    m_anchorWallMs = wallMs;
    m_anchorMs = m_positionMs;
}

SessionReplay::Step ReplayControl::ended(SessionReplay::Step step)
{
    if (step == SessionReplay::Step::Failed) m_error = m_replay->error();
    if (step != SessionReplay::Step::Ran) m_positionMs = step == SessionReplay::Step::Ended ? m_durationMs : m_positionMs;
    return step;
}

SessionReplay::Step ReplayControl::tick(double wallMs)
{
    if (!m_replay || !m_replay->active()) return SessionReplay::Step::Ended;
    if (m_seeking) {
        if (!m_threaded) {
            const double until = steadyMs() + kSeekSliceMs;
            while (steadyMs() < until && m_seeker.work(kCopySteps, m_copies)) {
            }
        }
        if (!land(wallMs)) return SessionReplay::Step::Ran; // the picture holds meanwhile
        if (!m_error.empty()) return SessionReplay::Step::Failed;
    }
    if (m_paused) return SessionReplay::Step::Ran;
    SessionReplay::Step step = SessionReplay::Step::Ran;
    if (m_speed == kFastest) {
        const double until = steadyMs() + kFastSliceMs;
        uint32_t ranMs = m_positionMs;
        for (int n = 0; step == SessionReplay::Step::Ran && n < kMostStepsPerTick && steadyMs() < until; ++n) {
            if (m_replay->ended()) {
                step = SessionReplay::Step::Ended;
            } else {
                ranMs = m_replay->nextTimeMs();
                step = m_replay->step();
            }
        }
        // The time of the last pass or command run: what the picture shows.
        if (step == SessionReplay::Step::Ran) m_positionMs = ranMs;
        showTime();
        return ended(step);
    }
    const double target = m_anchorMs + std::max(0.0, wallMs - m_anchorWallMs) * m_speed;
    const uint32_t now = static_cast<uint32_t>(std::min<double>(target, m_durationMs));
    step = m_replay->playUntil(now, kMostStepsPerTick);
    if (step == SessionReplay::Step::Ran && m_replay->ended()) step = SessionReplay::Step::Ended;
    m_positionMs = std::max(m_positionMs, std::min(now, m_replay->nextTimeMs()));
    showTime();
    return ended(step);
}

void ReplayControl::seek(uint32_t timeMs, double wallMs)
{
    if (!m_replay || !m_replay->active()) return;
    timeMs = std::min(timeMs, m_durationMs);
    if (m_seeking && timeMs == m_seekTargetMs) return; // on its way there already
    m_seeking = true;
    m_seekTargetMs = timeMs;
    anchor(wallMs);
    // Going forward, the window's own state may be the nearest start.
    std::unique_ptr<ProgramState> window;
    if (timeMs >= m_positionMs && m_replay->error().empty()) {
        window = std::make_unique<ProgramState>();
        m_program.saveState(*window);
    }
    m_seeker.request(timeMs, std::move(window), m_replay->nextMark(), m_positionMs);
}

void ReplayControl::seekBy(int64_t byMs, double wallMs)
{
    seek(static_cast<uint32_t>(std::clamp<int64_t>(int64_t{shownMs()} + byMs, 0, m_durationMs)), wallMs);
}

bool ReplayControl::land(double wallMs)
{
    if (!m_seeker.take(m_landed)) return false;
    m_seeking = false;
    if (!m_landed.error.empty()) {
        m_error = m_landed.error;
        return true;
    }
    auto next = std::make_unique<SessionReplay>(m_program, *m_session, m_landed.state, m_landed.mark);
    m_replay->abandon();
    m_replay = std::move(next);
    m_replay->begin();
    m_positionMs = m_landed.timeMs;
    showTime();
    anchor(wallMs);
    return true;
}

void ReplayControl::showTime()
{
    // The session saved, or a clip made, ends on the picture shown, which
    // lasts from the last pass to this time; a take-over's clock goes on
    // from here.
    if (!m_replay->active() || m_replay->ended()) return;
    std::lock_guard lock(m_program.stateLock);
    m_program.recorder().setReplayTime(m_positionMs);
}

SessionReplay::Step ReplayControl::settle(double wallMs)
{
    while (m_seeking && !land(wallMs)) {
        if (m_threaded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        else m_seeker.work(kCopySteps, m_copies);
    }
    return m_error.empty() ? SessionReplay::Step::Ran : SessionReplay::Step::Failed;
}

void ReplayControl::setPaused(bool paused, double wallMs)
{
    m_paused = paused;
    anchor(wallMs);
}

void ReplayControl::setSpeed(double speed, double wallMs)
{
    m_speed = speed;
    anchor(wallMs);
}

void ReplayControl::stepSpeed(int by, double wallMs)
{
    const auto* first = std::begin(kSpeeds);
    const int count = static_cast<int>(std::size(kSpeeds));
    const int at = static_cast<int>(std::find(first, first + count, m_speed) - first);
    setSpeed(first[std::clamp(at + by, 0, count - 1)], wallMs);
}

std::string ReplayControl::speedLabel(double speed)
{
    if (speed == kFastest) return "As fast as it goes";
    char label[16];
    if (speed < 1) std::snprintf(label, sizeof label, "1/%gx", 1 / speed);
    else std::snprintf(label, sizeof label, "%gx", speed);
    return label;
}

void ReplayControl::finish()
{
    m_seeker.cancel();
    m_seeking = false;
    if (m_replay) m_replay->finish();
}

void ReplayControl::buildCopies(double budgetMs)
{
    const double until = steadyMs() + budgetMs;
    while (steadyMs() < until && m_copies.advance(kCopySteps)) {
    }
}

} // namespace tambrel
