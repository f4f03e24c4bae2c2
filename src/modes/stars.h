// SPDX-License-Identifier: MIT
#pragma once
// Starfield: spinning asterisks are born at an origin and fly outwards,
// speeding up and growing by 1% a frame, until they leave the canvas. A click
// moves the origin and picks a new birth rate; a red crosshair marks the pointer.

#include "modes/mode.h"

#include <array>

namespace tambrel {

struct Star {
    double x = 0, y = 0;
    double speed = 0;     // pixels per frame
    double direction = 0; // degrees, fixed for life
    double length = 0;    // spoke length; 0 marks a free slot
    double points = 0;    // spokes: rounded; spacing 360 / points unrounded
    double rotation = 0;  // degrees
    double spin = 0;      // degrees per frame
};

constexpr int kStarSlots = 200;

struct StarsState {
    std::array<Star, kStarSlots> starTable{};
    std::array<int32_t, kStarSlots> starColours{};
    int starOriginX = 0, starOriginY = 0;
    double starSpawnDivisor = 0;
};

class StarsMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    StarsState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const StarsMode&>(other).s; }
};

} // namespace tambrel
