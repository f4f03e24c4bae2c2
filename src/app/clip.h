// SPDX-License-Identifier: MIT
#pragma once
// A clip: the pictures a stretch of a session showed, rendered again by
// replaying the session in a program of its own (no window), from its
// start or from a checkpoint before the stretch. Each picture comes with
// the span it showed for, so that an encoder can keep every frame's exact
// pixels and time. Shared by every edition; the encoders are each
// edition's own.

#include "app/checkpoints.h"
#include "app/session.h"

#include <functional>
#include <string>

namespace tambrel {

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // A picture (Canvas::kWidth x kHeight pixels, 0x00BBGGRR, row by row)
    // that showed from `fromMs` until `untilMs`, counted from the clip's
    // start; every later picture differs from it. False stops the clip.
    virtual bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) = 0;
};

struct ClipSpan {
    uint32_t fromMs = 0, toMs = 0; // the session's times; fromMs < toMs
};

// Renders the pictures of `span`: the one showing at its start, then each
// one a pass or command put on the screen, the last one until its end. With
// `start` and `from` the replay begins at that checkpoint (which must lie at
// or before the span's start). progress(0..1) as it goes; a false from it
// cancels. False with a one-line error when the session no longer replays,
// the sink stops or the clip is cancelled.
bool renderClip(const Session& session, ClipSpan span, FrameSink& sink, std::string& error,
                const ProgramState* start = nullptr, const RecordMark* from = nullptr,
                const std::function<bool(double)>& progress = {});

} // namespace tambrel
