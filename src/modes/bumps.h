// SPDX-License-Identifier: MIT
#pragma once
// Colliding balls: a click scatters 10 to 50 balls without overlap; each
// travels straight on and picks a new random direction whenever its next step
// would overlap another ball or the pointer, or its centre crosses an edge.
// The pointer is a disc of radius 20 with twelve turning spikes.

#include "modes/mode.h"

#include <vector>

namespace tambrel {

struct BumpBall {
    double x = 0, y = 0, radius = 0; // the layout findCollision reads
    double speed = 0;                // pixels per frame
    double direction = 0;            // degrees
};

struct BumpColours {
    int32_t outline = 0, fill = 0;
};

struct BumpsState {
    int bumpCount = 0;
    std::vector<BumpBall> bumpBalls;
    std::vector<BumpColours> bumpColours;
};

class BumpsMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    BumpsState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const BumpsMode&>(other).s; }
};

} // namespace tambrel
