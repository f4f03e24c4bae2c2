// SPDX-License-Identifier: MIT
#pragma once
// Shade-bob brush: a square under the pointer adds a little to the red,
// green and blue of every pixel it covers, saturating; it shrinks when the
// pointer moves fast. A click steps through seven tints.

#include "modes/mode.h"

namespace tambrel {

class ShaderMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void start() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    // Half the bob's side for a pointer that moved `moved` pixels: 15 at rest,
    // 1 from 14 pixels on, halves to even.
    static int bobHalfSize(double moved);

    // Per-frame increments: red in bits 0-7, green 8-15, blue 16-23.
    int32_t shadeMask = 0;

protected:
    void copyOwnState(const Mode& other) override { shadeMask = static_cast<const ShaderMode&>(other).shadeMask; }
};

} // namespace tambrel
