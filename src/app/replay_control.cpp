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
constexpr int kCopySteps = 64;         // the copies' replay checks for a stop this often

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

ReplayControl::ReplayControl(Program& program, Session session, std::string name, bool threaded)
    : m_program(program), m_session(std::make_shared<const Session>(std::move(session))), m_name(std::move(name)),
      m_copies(*m_session), m_durationMs(m_session->durationMs)
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
    }
}

ReplayControl::~ReplayControl()
{
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
    finish();
}

bool ReplayControl::start(uint32_t atMs, double wallMs)
{
    m_replay = std::make_unique<SessionReplay>(m_program, *m_session);
    m_replay->begin();
    m_positionMs = 0;
    anchor(wallMs);
    return atMs == 0 || seek(atMs, wallMs) == SessionReplay::Step::Ran;
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
    if (m_paused) return SessionReplay::Step::Ran;
    SessionReplay::Step step = SessionReplay::Step::Ran;
    if (m_speed == kFastest) {
        const double until = steadyMs() + kFastSliceMs;
        for (int n = 0; step == SessionReplay::Step::Ran && n < kMostStepsPerTick && steadyMs() < until; ++n) {
            if (m_replay->ended()) step = SessionReplay::Step::Ended;
            else step = m_replay->step();
        }
        if (step == SessionReplay::Step::Ran) m_positionMs = m_replay->nextTimeMs();
        return ended(step);
    }
    const double target = m_anchorMs + std::max(0.0, wallMs - m_anchorWallMs) * m_speed;
    const uint32_t now = static_cast<uint32_t>(std::min<double>(target, m_durationMs));
    step = m_replay->playUntil(now, kMostStepsPerTick);
    if (step == SessionReplay::Step::Ran && m_replay->ended()) step = SessionReplay::Step::Ended;
    m_positionMs = std::max(m_positionMs, std::min(now, m_replay->nextTimeMs()));
    return ended(step);
}

SessionReplay::Step ReplayControl::seek(uint32_t timeMs, double wallMs)
{
    if (!m_replay || !m_replay->active()) return SessionReplay::Step::Ended;
    timeMs = std::min(timeMs, m_durationMs);
    // From the newest copy at or before the time, or, going forward with no
    // copy between, from where the replay stands.
    RecordMark mark;
    uint32_t takenMs = 0;
    const bool copied = m_copies.copyAtOrBefore(timeMs, m_scratch, mark, takenMs);
    const bool fromHere = timeMs >= m_positionMs && (!copied || takenMs <= m_positionMs);
    if (!fromHere) {
        auto next = copied ? std::make_unique<SessionReplay>(m_program, *m_session, m_scratch, mark)
                           : std::make_unique<SessionReplay>(m_program, *m_session);
        m_replay->abandon();
        m_replay = std::move(next);
        m_replay->begin();
    }
    const SessionReplay::Step step = m_replay->runUntilTime(timeMs);
    m_positionMs = timeMs;
    anchor(wallMs);
    // The session's end reached by a seek is a place to look at, not an
    // end: the replay stays, paused there or playing on to its end.
    return step == SessionReplay::Step::Failed ? ended(step) : SessionReplay::Step::Ran;
}

SessionReplay::Step ReplayControl::seekBy(int64_t byMs, double wallMs)
{
    return seek(static_cast<uint32_t>(std::clamp<int64_t>(int64_t{m_positionMs} + byMs, 0, m_durationMs)), wallMs);
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
    if (m_replay) m_replay->finish();
}

void ReplayControl::buildCopies(double budgetMs)
{
    const double until = steadyMs() + budgetMs;
    while (steadyMs() < until && m_copies.advance(kCopySteps)) {
    }
}

} // namespace tambrel
