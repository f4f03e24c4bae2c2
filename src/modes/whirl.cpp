// SPDX-License-Identifier: MIT
#include "modes/whirl.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <algorithm>
#include <numeric>

namespace tambrel {

namespace {
constexpr int kRebuildPauseMs = 100;
constexpr double kAxisX = 300, kAxisY = 256;
constexpr double kEyeDistance = 150; // perspective: scale = (150 + depth) / 150
constexpr double kDepthDrop = 5;     // depth / 5 pixels lower on the screen
constexpr double kBallRadius = 6;
constexpr double kCross = 5;
constexpr int32_t kBackground = 0xFFFFFF;
constexpr int32_t kCrossColour = 0x0000FF;
} // namespace

void WhirlMode::initState() { isOn = false; }

void WhirlMode::onCanvasClick(int /*x*/, int /*y*/)
{
    isOn = false;
    platform().sleepMs(kRebuildPauseMs);
    const int shape = floorToInt(4 * rnd());
    lastShape = shape;
    const int n = roundToInt(10 + 40 * rnd());
    s.whirlCount = n;
    s.whirlParticles.assign(static_cast<size_t>(n), WhirlBall{});
    s.whirlX.assign(static_cast<size_t>(n), 0);
    s.whirlDepth.assign(static_cast<size_t>(n), 0);
    s.whirlOrder.assign(static_cast<size_t>(n), 0);
    s.whirlColours.assign(static_cast<size_t>(n), 0);
    s.whirlSpin = 0.1_sp + 5 * rnd();
    if (floorToInt(2 * rnd()) == 1) s.whirlSpin = -s.whirlSpin;
    const double size = shape <= 1 ? 50 + 120 * rnd() : 50 + 150 * rnd();
    s.whirlSize = size;
    double helixAngle = 0, helixStep = 0;
    if (shape == 1) {
        helixAngle = 360 * rnd();
        helixStep = 5 + 35 * rnd();
    }
    auto colour = [&] { return roundToInt(16777215 * rnd()); };
    const int half = n / 2;
    for (int i = 1; i <= n; ++i) {
        WhirlBall& b = s.whirlParticles[static_cast<size_t>(i - 1)];
        if (shape == 0) { // two opposite columns; the second gets the odd ball
            if (i <= half) b = {4 * size * i / n, 0.75 * size, 90};
            else b = {4 * size * (i - half) / n, rnd() * size, 270};
        } else if (shape == 1) {
            b = {2 * size * i / n, 0.75 * size, helixAngle};
            helixAngle += helixStep;
        } else {
            b.height = rnd() * size * 2;
            b.radius = rnd() * size;
            b.angle = 360 * rnd();
        }
        s.whirlColours[static_cast<size_t>(i - 1)] = colour();
    }
    isOn = true;
}

void WhirlMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);
    c.setPenWidth(1);
    const size_t n = static_cast<size_t>(s.whirlCount);
    for (WhirlBall& b : s.whirlParticles) b.angle += s.whirlSpin;
    for (size_t i = 0; i < n; ++i) {
        const WhirlBall& b = s.whirlParticles[i];
        polarPoint(0, 0, b.angle, b.radius, s.whirlX[i], s.whirlDepth[i]);
    }
    // Back to front: sort by depth, carrying the ball numbers along.
    std::iota(s.whirlOrder.begin(), s.whirlOrder.end(), 0);
    std::sort(s.whirlOrder.begin(), s.whirlOrder.end(),
              [&](int a, int b) { return s.whirlDepth[static_cast<size_t>(a)] < s.whirlDepth[static_cast<size_t>(b)]; });
    std::vector<double> sortedDepth(n);
    for (size_t k = 0; k < n; ++k) sortedDepth[k] = s.whirlDepth[static_cast<size_t>(s.whirlOrder[k])];
    s.whirlDepth = std::move(sortedDepth);

    for (size_t k = 0; k < n; ++k) {
        const size_t j = static_cast<size_t>(s.whirlOrder[k]);
        const double depth = s.whirlDepth[k];
        const double scale = (kEyeDistance + depth) / kEyeDistance;
        const double sx = kAxisX + s.whirlX[j];
        const double sy = kAxisY + s.whirlParticles[j].height - s.whirlSize + depth / kDepthDrop;
        const double r = kBallRadius * scale; // negative far behind: corners swap
        c.circle(sx, sy, r, 0, s.whirlColours[j]);
    }
    const double mx = mouseX, my = mouseY;
    c.line(mx - kCross, my - kCross, mx + kCross, my + kCross, kCrossColour);
    c.line(mx + kCross, my - kCross, mx - kCross, my + kCross, kCrossColour);
}

} // namespace tambrel
