// SPDX-License-Identifier: MIT
#include "modes/emitter.h"

#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr int kEmitChance = 5;  // one frame in five, on average
constexpr double kPull = 0.05_sp;
constexpr double kGroundDrop = 25;   // ground below the pointer, pixels
constexpr double kGroundReach = 1500;
constexpr double kNozzleHalfWidth = 5, kNozzleTop = 2;
constexpr int32_t kBackground = 0xFFFFFF;
constexpr int32_t kBlack = 0;
} // namespace

void EmitterMode::initState()
{
    s = EmitterState{};
    // The first setting is narrower and slower than the ones clicks choose.
    s.emitRadius = 5 + rnd() * 10;
    s.emitSpread = rnd() * 3;
    s.emitVy = -2 - rnd() * 4;
    s.emitShrink = 0.01_sp + rnd() * 0.15_sp;
    s.emitColour = roundToInt(rnd() * 16777215);
}

void EmitterMode::onCanvasClick(int /*x*/, int /*y*/)
{
    s.emitRadius = 5 + rnd() * 10;
    s.emitSpread = rnd() * 5;
    s.emitVy = -3 - rnd() * 4;
    s.emitShrink = 0.01_sp + rnd() * 0.15_sp;
    s.emitColour = roundToInt(rnd() * 16777215);
}

void EmitterMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    FrameValues& f = frame();
    c.clearCanvas(kBackground);
    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    const double px = f.prevMouseX, py = f.prevMouseY;
    c.box(px - kGroundReach, py + kGroundDrop, px + kGroundReach, py + kGroundReach, 0, kBlack, kBlack);

    if (floorToInt(rnd() * kEmitChance) == 1) {
        // From just after the previous emission, wrapping; on a full table the
        // previous emission's slot is taken again. The search is bounded to one
        // round, so a full table with no previous emission takes slot 1
        // instead of searching for ever.
        int slot = s.emitterCursor;
        bool found = false;
        for (int tries = 0; tries < kParticleSlots && !found; ++tries) {
            if (++slot > kParticleSlots) slot = 1;
            found = slot == s.emitterCursor || !(s.emitterParticles[static_cast<size_t>(slot - 1)].radius > 0);
        }
        if (!found) slot = s.emitterCursor >= 1 && s.emitterCursor <= kParticleSlots ? s.emitterCursor : 1;
        s.emitterCursor = slot;
        Particle& p = s.emitterParticles[static_cast<size_t>(slot - 1)];
        p.x = mouseX;
        p.y = mouseY;
        p.vx = (2 * rnd() - 1) * s.emitSpread;
        p.vy = 2 * rnd() + s.emitVy - 1;
        p.radius = s.emitRadius;
        p.shrink = s.emitShrink;
        s.emitterColours[static_cast<size_t>(slot - 1)] = s.emitColour;
    }

    // Outlines in whatever pen width and style are current.
    for (size_t i = 0; i < s.emitterParticles.size(); ++i) {
        Particle& p = s.emitterParticles[i];
        if (!(p.radius > 0)) continue;
        p.x += p.vx;
        p.y += p.vy;
        p.vy += kPull;
        p.radius -= p.shrink;
        if (p.radius > 0)
            c.circle(p.x, p.y, p.radius, s.emitterColours[i], s.emitterColours[i]);
    }
    c.box(px - kNozzleHalfWidth, py - kNozzleTop, px + kNozzleHalfWidth, py + kGroundDrop, 0, kBlack, kBlack);
}

} // namespace tambrel
