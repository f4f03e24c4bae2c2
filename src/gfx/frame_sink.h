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
    virtual bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) = 0;
};

} // namespace tambrel
