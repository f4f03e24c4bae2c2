// SPDX-License-Identifier: MIT
#pragma once
// Where a clip's pictures go: an encoder (each edition's own) or a test.

#include <cstdint>

namespace tambrel {

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // A picture (Canvas::kWidth x kHeight pixels, 0x00BBGGRR, row by row)
    // that showed from `fromMs` until `untilMs`, counted from the clip's
    // start; every later picture differs from it. False stops the clip.
    // The pixels are the clip's only during the call: a sink that keeps
    // them copies them.
    virtual bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) = 0;
};

// The clips a player shows (a GIF, an MP4, the page's WebM) hold the picture
// showing at each tick of a 20 ms grid: at most 50 a second, as browsers and
// players show them.
constexpr uint32_t kClipTickMs = 20;

// The first tick of a grid of `tickMs` at or after `ms`: a picture that
// shows from `from` until `until` is seen at the ticks [gridTick(from),
// gridTick(until)), and never when that is empty.
constexpr uint32_t gridTick(uint32_t ms, uint32_t tickMs = kClipTickMs) { return (ms + tickMs - 1) / tickMs; }

} // namespace tambrel
