// SPDX-License-Identifier: MIT
#pragma once
// Falling snow: flakes start along the top edge, fall at a slight slant with
// a little jitter and settle on a dark-red bar that follows the pointer. A
// click picks a new bar width and snowfall density.

#include "modes/mode.h"

#include <array>

namespace tambrel {

struct Flake {
    double x = 0, y = 0;
    double speed = 0; // pixels per frame
    double angle = 0; // degrees from straight down
    double size = 0;  // radius; 0 marks a free slot
};

constexpr int kFlakeSlots = 200;

struct SnowState {
    std::array<Flake, kFlakeSlots> snowFlakes{};
    double snowBarHalfWidth = 0;
    double snowSpawnDivisor = 0;
};

class SnowMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    SnowState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const SnowMode&>(other).s; }
};

} // namespace tambrel
