// SPDX-License-Identifier: MIT
#include "modes/gravity.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <cmath>

namespace tambrel {

namespace {
constexpr int kRebuildPauseMs = 100;
constexpr double kCatchSpread = 3; // caught dots land within this of the pointer
constexpr int32_t kBackground = 0xD5EFFF;
constexpr int32_t kMeshLine = 0x9314FF;
constexpr int32_t kTrailRing = 0xFFFFFF;
constexpr int32_t kCrosshair = 0xC0C0C0;
constexpr std::pair<int, int32_t> kPointerRings[] = {{30, 0x696969}, {60, 0xC0C0C0}, {90, 0xDCDCDC}};
} // namespace

void GravityMode::initState() { isOn = false; }

void GravityMode::start() { s.gravityCount = 0; }

void GravityMode::onCanvasClick(int /*x*/, int /*y*/)
{
    // The animation thread skips the mode while its mesh is replaced.
    isOn = false;
    platform().sleepMs(kRebuildPauseMs);

    const int spacing = roundToInt(20 + 80 * rnd());
    s.gravityCols = 600 / spacing;
    s.gravityRows = 512 / spacing;
    const int offX = (600 - (s.gravityCols - 1) * spacing) / 2;
    const int offY = (512 - (s.gravityRows - 1) * spacing) / 2;
    s.gravityPoints.assign(static_cast<size_t>(s.gravityCols) * s.gravityRows, MeshPoint{});
    s.gravityCount = 0;
    for (int c = 1; c <= s.gravityCols; ++c)
        for (int r = 1; r <= s.gravityRows; ++r)
            s.gravityPoints[static_cast<size_t>(s.gravityCount++)] = {static_cast<double>(offX + spacing * (c - 1)),
                                                                     static_cast<double>(offY + spacing * (r - 1))};
    s.gravityDotRadius = 2 + 5 * rnd();
    s.gravityDotColour = 16777215 * rnd();
    s.gravityPull = 5 + 10 * rnd();

    isOn = true;
}

void GravityMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    FrameValues& f = frame();
    c.clearCanvas(kBackground);
    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));
    for (int h : {30, 60, 90}) c.circle(f.prevMouseX, f.prevMouseY, h, kTrailRing, kNoFill);

    const double mx = mouseX, my = mouseY;
    const bool pointerInside = mouseX >= 0 && mouseX < 600 && mouseY >= 0 && mouseY < 512;
    if (pointerInside) {
        for (int i = 0; i < s.gravityCount; ++i) {
            MeshPoint& p = s.gravityPoints[static_cast<size_t>(i)];
            double d = distance(mx, my, p.x, p.y);
            if (d < 1) d = 1;
            const double step = s.gravityPull * (1 / d) * 4; // falls off as 1/d
            const double dx = mx - p.x, dy = my - p.y;
            bool caught = dx == 0 && dy == 0; // on the pointer: no direction
            if (!caught) {
                // Unit step along the dominant axis, proportionally less across.
                const double scale = std::fabs(dx) > std::fabs(dy) ? std::fabs(dx) : std::fabs(dy);
                const double nx = p.x + step * (dx / scale), ny = p.y + step * (dy / scale);
                if (distance(p.x, p.y, mx, my) >= distance(nx, ny, mx, my)) {
                    p.x = nx;
                    p.y = ny;
                } else {
                    caught = true; // the step would overshoot
                }
            }
            if (caught) {
                p.x = mx - kCatchSpread + 2 * kCatchSpread * rnd();
                p.y = my - kCatchSpread + 2 * kCatchSpread * rnd();
            }
        }
    }

    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::DashDot));
    // The lines follow the mesh's own size, so an old mesh shows (motionless,
    // without dots) after a switch-on until the next click.
    const int rows = s.gravityRows;
    for (int col = 1; col <= s.gravityCols; ++col) {
        for (int r = 1; r <= rows; ++r) {
            const size_t k = static_cast<size_t>((col - 1) * rows + r - 1);
            const MeshPoint& p = s.gravityPoints[k];
            if (col < s.gravityCols) {
                const MeshPoint& q = s.gravityPoints[k + static_cast<size_t>(rows)];
                c.line(p.x, p.y, q.x, q.y, kMeshLine);
            }
            if (r < rows) {
                const MeshPoint& q = s.gravityPoints[k + 1];
                c.line(p.x, p.y, q.x, q.y, kMeshLine);
            }
        }
    }
    // The dots keep the dash-dot style: their outlines are dash-dot too.
    const int32_t dot = roundToInt(s.gravityDotColour);
    const double dr = s.gravityDotRadius;
    for (int i = 0; i < s.gravityCount; ++i) {
        const MeshPoint& p = s.gravityPoints[static_cast<size_t>(i)];
        c.circle(p.x, p.y, dr, dot, dot);
    }

    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    c.setLineStyle(static_cast<int>(LineStyle::Dot));
    for (auto [h, colour] : kPointerRings) c.circle(mx, my, h, colour, kNoFill);

    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::DashDotDot));
    if (mouseX >= 0 && mouseX < 600) c.line(mx, 0, mx, 512, kCrosshair);
    if (mouseY >= 0 && mouseY < 512) c.line(0, my, 600, my, kCrosshair);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));
}

} // namespace tambrel
