// SPDX-License-Identifier: MIT
#include "modes/drawing.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <cmath>

namespace tambrel {

namespace {
double randomWidth(double r) { return 1 + r * 25; }
double randomStep(double r) { return 0.05_sp + r * 0.5_sp; }
int32_t randomColour(double r) { return roundToInt(r * 16777215); }
} // namespace

void DrawingMode::initState() { s.drawColour = randomColour(rnd()); }

void DrawingMode::start()
{
    getCanvasMouse(platform(), s.drawLastX, s.drawLastY); // no stray line from an old position
    s.drawWidth = randomWidth(rnd());
    s.drawTargetWidth = randomWidth(rnd());
    s.drawWidthStep = randomStep(rnd());
    if (s.drawWidth > s.drawTargetWidth) s.drawWidthStep = -s.drawWidthStep;
}

void DrawingMode::onCanvasClick(int /*x*/, int /*y*/) { s.drawColour = randomColour(rnd()); }

void DrawingMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.setPenWidth(roundToInt(s.drawWidth)); // this stroke's width, before the update
    s.drawWidth += s.drawWidthStep;
    if (std::fabs(s.drawWidth - s.drawTargetWidth) < 2 * std::fabs(s.drawWidthStep)) {
        s.drawTargetWidth = randomWidth(rnd());
        s.drawWidthStep = randomStep(rnd());
        if (s.drawWidth > s.drawTargetWidth) s.drawWidthStep = -s.drawWidthStep;
    }
    if (s.drawWidth <= 1) s.drawWidthStep = randomStep(rnd());
    c.line(s.drawLastX, s.drawLastY, mouseX, mouseY, s.drawColour);
    s.drawLastX = mouseX;
    s.drawLastY = mouseY;
}

} // namespace tambrel
