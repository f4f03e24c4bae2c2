// SPDX-License-Identifier: MIT
#pragma once
// Fireworks: every click bursts 5 to 29 sparks of one colour from the
// pointer, as a ring or scattered, half the time followed by a slower second
// burst. Sparks fall and shrink until they vanish. A target and a dotted X
// mark the pointer.

#include "modes/mode.h"

#include <array>

namespace tambrel {

struct Spark {
    double x = 0, y = 0;   // centre
    double vx = 0, vy = 0; // pixels per frame
    double pull = 0;       // added to vy each frame
    double radius = 0;     // alive while above 0
    double shrink = 0;     // taken from radius each frame
};

constexpr int kSparkSlots = 200;

struct FireworksState {
    std::array<Spark, kSparkSlots> sparks{};         // slot i + 1 of the table
    std::array<int32_t, kSparkSlots> sparkColours{};
};

class FireworksMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    FireworksState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const FireworksMode&>(other).s; }
};

} // namespace tambrel
