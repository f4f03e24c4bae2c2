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
#include "gfx/frame_sink.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tambrel {

struct ClipSpan {
    uint32_t fromMs = 0, toMs = 0; // the session's times; fromMs < toMs
};

class Program;
class SessionReplay;
class MemoryPlatform;
class MemoryDialogView;

// A clip rendered a picture at a time, for an edition that cannot give the
// clip a thread of its own (the web page makes it between its passes).
// With `start` and `from` the replay begins at that checkpoint (which must
// lie at or before the span's start).
class ClipRun {
public:
    ClipRun(const Session& session, ClipSpan span, const ProgramState* start = nullptr, const RecordMark* from = nullptr);
    ~ClipRun();
    ClipRun(const ClipRun&) = delete;
    ClipRun& operator=(const ClipRun&) = delete;

    enum class Next { Frame, Before, Done, Failed };
    // Replays up to the next picture the session put on the screen: Frame
    // when it was handed to the sink, Before when it showed only before the
    // clip, Done once the clip's last picture was handed over, Failed with
    // error().
    Next next(FrameSink& sink);
    double progress() const; // 0..1
    const std::string& error() const { return m_error; }

private:
    bool handOver(FrameSink& sink, uint32_t untilMs);

    ClipSpan m_span;
    std::unique_ptr<MemoryPlatform> m_platform; // counts the redraws: each one puts a picture on the screen
    std::unique_ptr<MemoryDialogView> m_view;
    std::unique_ptr<Program> m_program;
    std::unique_ptr<SessionReplay> m_replay;
    uint32_t m_firstMs = 0, m_shownFromMs = 0, m_reachedMs = 0;
    std::vector<uint32_t> m_shown; // the picture on the screen since m_shownFromMs
    bool m_done = false;
    bool m_drawn = false; // a picture other than the white canvas was handed over
    std::string m_error;
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
