// SPDX-License-Identifier: MIT
#include "modes/snow.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr int32_t kBackground = 0xFFFFFF;
constexpr int32_t kFlakeOutline = 0xEEEEAF;
constexpr int32_t kFlakeFill = 0xF5F5F5;
constexpr int32_t kPointerLine = 0xDCDCDC;
constexpr int32_t kBar = 0x2222B2;
constexpr int kBarWidth = 5;
constexpr double kRestGap = 2; // a resting flake's lower edge above the bar's line
} // namespace

void SnowMode::initState()
{
    isOn = false;
    s.snowFlakes = {};
    s.snowBarHalfWidth = 25 + 75 * rnd();
}

void SnowMode::onCanvasClick(int /*x*/, int /*y*/)
{
    s.snowBarHalfWidth = 25 + 75 * rnd();
    s.snowSpawnDivisor = 3 * rnd();
}

void SnowMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    FrameValues& f = frame();
    c.clearCanvas(kBackground);

    if (floorToInt(s.snowSpawnDivisor * rnd()) == 0) {
        for (Flake& fl : s.snowFlakes) {
            if (fl.size != 0) continue;
            fl.x = 600 * rnd();
            fl.y = 0;
            fl.speed = 2 + rnd();
            fl.angle = -20 + 40 * rnd();
            fl.size = 5 + 10 * rnd();
            break;
        }
    }

    // Every slot moves, free ones too: each draws its jitter.
    const double barX = f.prevMouseX, barY = f.prevMouseY, half = s.snowBarHalfWidth;
    for (Flake& fl : s.snowFlakes) {
        double nx, ny;
        polarPoint(fl.x, fl.y, fl.angle, fl.speed, nx, ny);
        nx = nx + 4 * rnd() - 2;
        // Caught from above by the bar drawn in the previous frame, never from below.
        if (barX - half < nx && nx < barX + half && fl.y + fl.size / 2 < barY && ny + fl.size >= barY) {
            fl.x = nx;
            fl.y = barY - fl.size - kRestGap;
        } else {
            fl.x = nx;
            fl.y = ny;
        }
        if (fl.y > 512) fl.size = 0;
        if (fl.size > 0) c.circle(fl.x, fl.y, fl.size, kFlakeOutline, kFlakeFill);
    }

    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    const double mx = mouseX, my = mouseY;
    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::Dot));
    c.line(0, my, 600, my, kPointerLine);
    c.setPenWidth(kBarWidth);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));
    c.line(mx - half, my, mx + half, my, kBar);
    c.setPenWidth(1);
}

} // namespace tambrel
