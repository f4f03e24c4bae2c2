// SPDX-License-Identifier: MIT
#include "app/clip.h"

#include "app/program.h"
#include "app/replay.h"
#include "gfx/memory_platform.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tambrel {

namespace {
constexpr size_t kPixels = static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight;
}

ClipRun::ClipRun(const Session& session, ClipSpan span, const ProgramState* start, const RecordMark* from)
    : m_span(span), m_platform(std::make_unique<MemoryPlatform>()), m_view(std::make_unique<MemoryDialogView>()),
      m_program(std::make_unique<Program>(*m_platform, *m_view))
{
    m_program->recorder().setEnabled(false); // it only replays, for its pictures
    m_replay = start && from ? std::make_unique<SessionReplay>(*m_program, session, *start, *from)
                             : std::make_unique<SessionReplay>(*m_program, session);
    m_replay->begin();
    m_firstMs = start && from ? from->timeMs : 0;
    m_shownFromMs = m_reachedMs = m_firstMs;
    m_shown.assign(m_program->canvas.pixels(), m_program->canvas.pixels() + kPixels);
    if (span.toMs <= span.fromMs) {
        m_error = "an empty stretch of the session";
        m_done = true;
    }
}

ClipRun::~ClipRun() = default;

// Hands over the picture shown so far, up to `until`; nothing of a picture
// that was gone before the clip began. True when nothing was due.
bool ClipRun::handOver(FrameSink& sink, uint32_t untilMs)
{
    const uint32_t a = std::max(m_shownFromMs, m_span.fromMs), b = std::min(untilMs, m_span.toMs);
    if (b <= a) return true;
    m_drawn = m_drawn || std::any_of(m_shown.begin(), m_shown.end(), [](uint32_t p) { return p != static_cast<uint32_t>(kWhite); });
    return sink.frame(m_shown.data(), a - m_span.fromMs, b - m_span.fromMs);
}

ClipRun::Next ClipRun::next(FrameSink& sink)
{
    if (m_done) return m_error.empty() ? Next::Done : Next::Failed;
    auto fail = [this](const std::string& why) {
        m_error = why;
        m_done = true;
        return Next::Failed;
    };
    while (!m_replay->ended() && m_replay->nextTimeMs() < m_span.toMs) {
        const uint32_t t = m_replay->nextTimeMs();
        const int redraws = m_platform->redraws();
        if (m_replay->step() == SessionReplay::Step::Failed) return fail(m_replay->error());
        m_reachedMs = std::max(t, m_firstMs);
        if (m_platform->redraws() == redraws ||
            std::memcmp(m_shown.data(), m_program->canvas.pixels(), kPixels * 4) == 0)
            continue;
        const uint32_t before = m_shownFromMs;
        const bool due = std::min(t, m_span.toMs) > std::max(before, m_span.fromMs);
        if (!handOver(sink, t)) return fail("the clip was not finished");
        m_shown.assign(m_program->canvas.pixels(), m_program->canvas.pixels() + kPixels);
        m_shownFromMs = t;
        return due ? Next::Frame : Next::Before;
    }
    // The last picture, until the clip's end; the call after it says Done.
    m_done = true;
    m_reachedMs = m_span.toMs;
    const bool due = m_span.toMs > std::max(m_shownFromMs, m_span.fromMs);
    if (!handOver(sink, m_span.toMs)) return fail("the clip was not finished");
    // A clip of a white canvas says nothing: refused, never saved as if it did.
    if (!m_drawn) return fail("nothing is on the canvas in that stretch (no mode has drawn yet)");
    return due ? Next::Frame : Next::Done;
}

double ClipRun::progress() const
{
    return m_span.toMs > m_firstMs ? double(m_reachedMs - m_firstMs) / (m_span.toMs - m_firstMs) : 1.0;
}

bool renderClip(const Session& session, ClipSpan span, FrameSink& sink, std::string& error, const ProgramState* start,
                const RecordMark* from, const std::function<bool(double)>& progress)
{
    ClipRun run(session, span, start, from);
    ClipRun::Next next;
    while ((next = run.next(sink)) == ClipRun::Next::Frame || next == ClipRun::Next::Before) {
        if (progress && !progress(run.progress())) {
            error = "cancelled";
            return false;
        }
    }
    if (next == ClipRun::Next::Failed) {
        error = run.error();
        return false;
    }
    if (progress) progress(1.0);
    return true;
}

} // namespace tambrel
