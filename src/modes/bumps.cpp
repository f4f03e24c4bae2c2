// SPDX-License-Identifier: MIT
#include "modes/bumps.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <span>

namespace tambrel {

namespace {
constexpr int kRebuildPauseMs = 100;
constexpr double kPointerRadius = 20;
constexpr double kSpikeLength = 5;
constexpr int32_t kBackground = 0xFFFFFF;
constexpr std::pair<int, int32_t> kPointerRings[] = {{20, 0x82004B}, {17, 0x800080}, {14, 0xDB7093}};
constexpr int32_t kSpike = 0xD670DA;
} // namespace

void BumpsMode::initState()
{
    isOn = false;
    s.bumpCount = 0;
}

void BumpsMode::onCanvasClick(int /*x*/, int /*y*/)
{
    isOn = false;
    platform().sleepMs(kRebuildPauseMs);
    s.bumpCount = roundToInt(10 + 40 * rnd());
    s.bumpBalls.assign(static_cast<size_t>(s.bumpCount), BumpBall{});
    s.bumpColours.assign(static_cast<size_t>(s.bumpCount), BumpColours{});
    const std::span<const BumpBall> balls(s.bumpBalls);
    for (int i = 1; i <= s.bumpCount; ++i) {
        double x, y, radius;
        do { // every try draws a new radius too, so even the last ball finds room
            x = 600 * rnd();
            y = 512 * rnd();
            radius = 20 * rnd() + 5;
        } while (findCollision(x, y, radius, balls, i - 1) != 0);
        BumpBall& b = s.bumpBalls[static_cast<size_t>(i - 1)];
        b.x = x;
        b.y = y;
        b.radius = radius;
        b.speed = 0.1_sp + 4 * rnd();
        b.direction = 360 * rnd();
        BumpColours& c = s.bumpColours[static_cast<size_t>(i - 1)];
        c.outline = roundToInt(16777215 * rnd());
        c.fill = roundToInt(16777215 * rnd());
    }
    isOn = true;
}

void BumpsMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);
    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));
    FrameValues& f = frame();
    f.pointerBall = {static_cast<double>(mouseX), static_cast<double>(mouseY), kPointerRadius};

    const std::span<const BumpBall> balls(s.bumpBalls);
    const std::span<const PointerBall> pointer(&f.pointerBall, 1);
    for (int i = 1; i <= s.bumpCount; ++i) {
        BumpBall& b = s.bumpBalls[static_cast<size_t>(i - 1)];
        double nx, ny;
        polarPoint(b.x, b.y, b.direction, b.speed, nx, ny);
        if (findCollision(nx, ny, b.radius, balls, s.bumpCount, i) != 0 ||
            findCollision(nx, ny, b.radius, pointer, 1) != 0) {
            b.direction = 360 * rnd(); // stay and re-aim
        } else {
            b.x = nx;
            b.y = ny;
        }
        // Only the centre is held inside; a corner may re-aim twice.
        if (b.x < 0) b.x = 0, b.direction = 360 * rnd();
        else if (b.x > 600) b.x = 600, b.direction = 360 * rnd();
        if (b.y < 0) b.y = 0, b.direction = 360 * rnd();
        else if (b.y > 512) b.y = 512, b.direction = 360 * rnd();
    }

    for (int i = 0; i < s.bumpCount; ++i) {
        const BumpBall& b = s.bumpBalls[static_cast<size_t>(i)];
        const BumpColours& col = s.bumpColours[static_cast<size_t>(i)];
        c.circle(b.x, b.y, b.radius, col.outline, col.fill);
    }

    const double mx = mouseX, my = mouseY;
    for (auto [h, colour] : kPointerRings) c.circle(mx, my, h, colour, kNoFill);
    // Turned by a degree a frame; kept within a full turn so it never overflows.
    f.wheelAngle = (f.wheelAngle + 1) % 360;
    for (int a = 0; a <= 359; a += 30) {
        double ox, oy, ex, ey;
        polarPoint(mx, my, f.wheelAngle + a, kPointerRadius, ox, oy);
        polarPoint(ox, oy, f.wheelAngle + a, kSpikeLength, ex, ey);
        c.line(ox, oy, ex, ey, kSpike);
    }
}

} // namespace tambrel
