// SPDX-License-Identifier: MIT
#pragma once
// 3D whirlwind: coloured balls revolve around a vertical axis, seen slightly
// from above; nearer balls are drawn larger, lower and later. A click builds
// a new set: two columns, a helix or a swarm. A red cross marks the pointer.

#include "modes/mode.h"

#include <vector>

namespace tambrel {

struct WhirlBall {
    double height = 0; // 0 .. about 2 whirlSize, drawn centred
    double radius = 0; // distance from the axis
    double angle = 0;  // degrees, never wrapped
};

struct WhirlState {
    int whirlCount = 0;    // balls N
    double whirlSpin = 0;  // degrees per frame, either sign
    double whirlSize = 0;  // the set's size S
    std::vector<WhirlBall> whirlParticles;
    std::vector<int32_t> whirlColours;
    std::vector<double> whirlX, whirlDepth; // per frame: sideways, towards the viewer
    std::vector<int> whirlOrder;            // per frame: ball numbers back to front (0-based)
};

class WhirlMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    WhirlState s;
    int lastShape = -1; // 0 columns, 1 helix, 2 or 3 swarm

protected:
    void copyOwnState(const Mode& other) override
    {
        s = static_cast<const WhirlMode&>(other).s;
        lastShape = static_cast<const WhirlMode&>(other).lastShape;
    }
};

} // namespace tambrel
