// SPDX-License-Identifier: MIT
#include "modes/fireworks.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr double kMarkReach = 1000; // the dotted X reaches past every edge
constexpr int32_t kBackground = rgb(255, 255, 255);
constexpr int32_t kSalmon = rgb(255, 160, 122);
constexpr int32_t kYellow = rgb(255, 255, 0);
constexpr int32_t kOrangeRed = rgb(255, 69, 0);
constexpr int32_t kRed = rgb(255, 0, 0);

int32_t randomColour(double r) { return roundToInt(r * 16777215); }
} // namespace

void FireworksMode::initState() { s = FireworksState{}; }

void FireworksMode::onCanvasClick(int x, int y)
{
    int32_t colour = randomColour(rnd());
    const double pull = 0.05_sp + rnd() * 0.1_sp;
    const double radius = 4 + rnd() * 3;
    const double shrink = 0.01_sp + rnd() * 0.25;
    double speed = 2 + rnd() * 4;
    const int count = roundToInt(5 + rnd() * 24);
    const double angleStep = roundEven(360.0 / count);
    double angleOffset = angleStep * rnd();
    const bool ring = floorToInt(rnd() * 2) == 1;

    // One cursor for both bursts; past a full table every spark lands in slot 1.
    int cursor = 0;
    auto burst = [&] {
        for (int k = 1; k <= count; ++k) {
            const double a = ring ? angleOffset + angleStep * k : rnd() * 360;
            double vx, vy;
            polarPoint(0, 0, a, speed, vx, vy);
            int slot;
            for (;;) {
                ++cursor;
                if (cursor > kSparkSlots) {
                    cursor = 0;
                    slot = 1;
                    break;
                }
                if (s.sparks[static_cast<size_t>(cursor - 1)].radius <= 0) {
                    slot = cursor;
                    break;
                }
            }
            s.sparks[static_cast<size_t>(slot - 1)] = Spark{static_cast<double>(x), static_cast<double>(y), vx, vy,
                                                            pull, radius, shrink};
            s.sparkColours[static_cast<size_t>(slot - 1)] = colour;
        }
    };
    burst();
    if (floorToInt(rnd() * 2) == 1) {
        speed /= 2;
        angleOffset += angleStep / 2;
        colour = randomColour(rnd());
        burst();
    }
}

void FireworksMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);
    c.setPenWidth(1);
    FrameValues& f = frame();
    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    const double px = f.prevMouseX, py = f.prevMouseY;
    c.setLineStyle(static_cast<int>(LineStyle::Dot));
    c.line(px - kMarkReach, py - kMarkReach, px + kMarkReach, py + kMarkReach, kSalmon);
    c.line(px + kMarkReach, py - kMarkReach, px - kMarkReach, py + kMarkReach, kSalmon);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));

    for (size_t i = 0; i < s.sparks.size(); ++i) {
        Spark& sp = s.sparks[i];
        if (!(sp.radius > 0)) continue;
        sp.x += sp.vx;
        sp.y += sp.vy;
        sp.vy += sp.pull;
        sp.radius -= sp.shrink;
        if (sp.radius > 0)
            c.circle(sp.x, sp.y, sp.radius, s.sparkColours[i], s.sparkColours[i]);
    }

    for (auto [r, colour] : {std::pair{6, kYellow}, {4, kOrangeRed}, {2, kRed}})
        c.circle(px, py, r, colour, colour);
}

} // namespace tambrel
