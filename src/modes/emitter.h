// SPDX-License-Identifier: MIT
#pragma once
// Particle emitter: a nozzle under the pointer, standing on black ground,
// shoots a particle upwards about every fifth frame; particles fall back and
// shrink away. A click picks a new colour, size, shrink rate and speed range.

#include "modes/mode.h"

#include <array>

namespace tambrel {

struct Particle {
    double x = 0, y = 0;
    double vx = 0, vy = 0; // pixels per frame, vy < 0 rises
    double radius = 0;     // alive while above 0
    double shrink = 0;
};

constexpr int kParticleSlots = 200;

struct EmitterState {
    std::array<Particle, kParticleSlots> emitterParticles{};
    std::array<int32_t, kParticleSlots> emitterColours{};
    int emitterCursor = 0; // slot of the latest emission (from 1), 0 before the first
    double emitRadius = 0;
    double emitSpread = 0; // largest sideways speed
    double emitVy = 0;     // centre of the start vertical speed
    double emitShrink = 0;
    int32_t emitColour = 0;
};

class EmitterMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    EmitterState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const EmitterMode&>(other).s; }
};

} // namespace tambrel
