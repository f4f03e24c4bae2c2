// SPDX-License-Identifier: MIT
#pragma once
// Bouncy ball: a ball falls, bounces off the four edges losing speed, and
// flashes red for ten frames after each contact. A click kicks it upwards and
// away from the click; a violet triangle marks the pointer.

#include "modes/mode.h"

namespace tambrel {

struct BouncyState {
    double ballX = 0, ballY = 0;   // centre, canvas pixels
    double ballVx = 0, ballVy = 0; // pixels per frame, y grows downwards
    double ballGravity = 0;        // added to ballVy each frame
    int ballRadius = 0;
    int flashFrames = 0;           // red frames still to come
    int32_t ballColour = 0;        // fill, kept from frame to frame
};

class BouncyMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    BouncyState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const BouncyMode&>(other).s; }
};

} // namespace tambrel
