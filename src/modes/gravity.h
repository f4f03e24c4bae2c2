// SPDX-License-Identifier: MIT
#pragma once
// Gravity field: a mesh of dots joined by dash-dot lines is pulled towards
// the pointer, harder the closer a dot is; a dot that would overshoot is
// caught beside the pointer. A click builds a new random mesh.

#include "modes/mode.h"

#include <vector>

namespace tambrel {

struct MeshPoint {
    double x = 0, y = 0;
};

struct GravityState {
    // Columns left to right, each top to bottom: the point in column c and
    // row r (from 1) is gravityPoints[(c - 1) * gravityRows + r - 1].
    std::vector<MeshPoint> gravityPoints;
    int gravityCount = 0; // live points: the bound of the pull and the dots
    int gravityCols = 0;
    int gravityRows = 0;
    double gravityDotRadius = 0;
    double gravityDotColour = 0; // packed colour, rounded where used
    double gravityPull = 0;
};

class GravityMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void start() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    GravityState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const GravityMode&>(other).s; }
};

} // namespace tambrel
