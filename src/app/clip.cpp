// SPDX-License-Identifier: MIT
#include "app/clip.h"

#include "app/program.h"
#include "app/replay.h"
#include "gfx/memory_platform.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tambrel {

bool renderClip(const Session& session, ClipSpan span, FrameSink& sink, std::string& error, const ProgramState* start,
                const RecordMark* from, const std::function<bool(double)>& progress)
{
    if (span.toMs <= span.fromMs) {
        error = "an empty stretch of the session";
        return false;
    }
    MemoryPlatform platform; // counts the redraws: each one puts a picture on the screen
    MemoryDialogView view;
    auto program = std::make_unique<Program>(platform, view);
    program->recorder().setEnabled(false); // it only replays, for its pictures
    std::unique_ptr<SessionReplay> replay = start && from
                                                ? std::make_unique<SessionReplay>(*program, session, *start, *from)
                                                : std::make_unique<SessionReplay>(*program, session);
    replay->begin();
    const uint32_t firstMs = start && from ? from->timeMs : 0;

    constexpr size_t kPixels = static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight;
    std::vector<uint32_t> shown(program->canvas.pixels(), program->canvas.pixels() + kPixels);
    uint32_t shownFrom = firstMs;
    // Hands over the picture shown so far, up to `until`; nothing of a
    // picture that was gone before the clip began.
    auto emit = [&](uint32_t until) {
        const uint32_t a = std::max(shownFrom, span.fromMs), b = std::min(until, span.toMs);
        return b <= a || sink.frame(shown.data(), a - span.fromMs, b - span.fromMs);
    };
    while (!replay->ended() && replay->nextTimeMs() < span.toMs) {
        const uint32_t t = replay->nextTimeMs();
        const int redraws = platform.redraws();
        if (replay->step() == SessionReplay::Step::Failed) {
            error = replay->error();
            return false;
        }
        if (platform.redraws() == redraws || std::memcmp(shown.data(), program->canvas.pixels(), kPixels * 4) == 0)
            continue;
        if (!emit(t)) {
            error = "the clip was not finished";
            return false;
        }
        shown.assign(program->canvas.pixels(), program->canvas.pixels() + kPixels);
        shownFrom = t;
        if (progress && !progress(double(std::max(t, firstMs) - firstMs) / (span.toMs - firstMs))) {
            error = "cancelled";
            return false;
        }
    }
    if (!emit(span.toMs)) {
        error = "the clip was not finished";
        return false;
    }
    if (progress) progress(1.0);
    return true;
}

} // namespace tambrel
