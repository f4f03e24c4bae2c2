// SPDX-License-Identifier: MIT
#include "modes/stars.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr double kGrowth = 1.01_sp; // speed and spoke length, per frame
constexpr int32_t kCrosshair = 0x0000FF;
constexpr double kCrossGap = 5, kCrossReach = 15;

// Packed colours: 0xFFFF00 is cyan (red 0), 0x00FFFF yellow (blue 0).
int32_t starColour(int k)
{
    switch (k) {
    case 1: return 0xEE82EE;
    case 2: return 0xFFFF00;
    case 3: return 0x00FFFF;
    case 4: return 0xD0E040;
    default: return 0xFFFFFF; // six stars in ten are white
    }
}
} // namespace

void StarsMode::initState()
{
    isOn = false;
    s = StarsState{};
    s.starOriginX = 300;
    s.starOriginY = 256;
}

void StarsMode::onCanvasClick(int x, int y)
{
    s.starOriginX = x;
    s.starOriginY = y;
    s.starSpawnDivisor = 3 * rnd();
}

void StarsMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(0);
    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));

    // Birth: always while the divisor is at most 1, else one time in divisor.
    if (floorToInt(s.starSpawnDivisor * rnd()) == 0) {
        for (size_t i = 0; i < s.starTable.size(); ++i) {
            Star& st = s.starTable[i];
            if (st.length != 0) continue;
            st.x = s.starOriginX;
            st.y = s.starOriginY;
            st.speed = 0.1_sp + rnd();
            st.direction = 360 * rnd();
            st.length = 0.1_sp + rnd();
            st.points = 3 + 5 * rnd();
            st.rotation = 360 * rnd();
            st.spin = 10 * rnd() - 5;
            s.starColours[i] = starColour(floorToInt(10 * rnd()));
            break;
        }
    }

    for (Star& st : s.starTable) {
        if (!(st.length > 0)) continue;
        st.speed *= kGrowth;
        st.rotation += st.spin;
        st.length *= kGrowth;
        polarPoint(st.x, st.y, st.direction, st.speed, st.x, st.y);
        if (st.x < 0 || st.x > 600 || st.y < 0 || st.y > 512) st.length = 0; // on the border lives on
    }

    for (size_t i = 0; i < s.starTable.size(); ++i) {
        const Star& st = s.starTable[i];
        if (!(st.length > 0)) continue;
        const double step = 360 / st.points;
        const int spokes = roundToInt(st.points);
        for (int j = 1; j <= spokes; ++j) {
            double ex, ey;
            polarPoint(st.x, st.y, st.rotation + j * step, st.length, ex, ey);
            c.line(st.x, st.y, ex, ey, s.starColours[i]);
        }
    }

    const double mx = mouseX, my = mouseY;
    c.line(mx - kCrossReach, my, mx - kCrossGap, my, kCrosshair);
    c.line(mx + kCrossGap, my, mx + kCrossReach, my, kCrosshair);
    c.line(mx, my - kCrossReach, mx, my - kCrossGap, kCrosshair);
    c.line(mx, my + kCrossGap, mx, my + kCrossReach, kCrosshair);
}

} // namespace tambrel
