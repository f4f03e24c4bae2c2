// SPDX-License-Identifier: MIT
#include "modes/bouncy.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr double kWallLoss = 0.9_sp;   // speed kept across a wall, floor
constexpr double kRubLoss = 0.97_sp;   // sideways speed kept at floor, ceiling
constexpr double kKickUp = 3;          // pixels per frame per click
constexpr double kKickSide = 2;
constexpr double kKickReach = 50;      // pixels either side of the ball
constexpr int kFlashFrames = 10;
constexpr double kTriangle = 20;       // pointer triangle half-size, pixels
constexpr int32_t kBackground = rgb(255, 255, 255);
constexpr int32_t kSkyBlue = rgb(0, 191, 255);
constexpr int32_t kRed = rgb(255, 0, 0);
constexpr int32_t kNavy = rgb(0, 0, 128);
constexpr int32_t kViolet = rgb(138, 43, 226);
} // namespace

void BouncyMode::initState()
{
    s.ballX = 50 + rnd() * 500;
    s.ballY = 50 + rnd() * 412;
    s.ballVx = rnd() * 4 - 2;
    s.ballVy = rnd() * 4 - 2;
    s.ballGravity = 0.1_sp;
    s.ballRadius = 15;
    s.flashFrames = 0;
    s.ballColour = 0;
}

void BouncyMode::onCanvasClick(int x, int /*y*/)
{
    s.ballVy -= kKickUp;
    if (x - kKickReach > s.ballX) s.ballVx -= kKickSide;
    else if (x + kKickReach < s.ballX) s.ballVx += kKickSide;
}

void BouncyMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);

    s.ballX += s.ballVx;
    s.ballY += s.ballVy;

    if (s.flashFrames > 0) --s.flashFrames;
    if (s.flashFrames == 0) s.ballColour = kSkyBlue;

    auto contact = [&] {
        s.ballColour = kRed;
        s.flashFrames = kFlashFrames;
    };
    // The centre is tested, not the rim; a corner meets one rule of each pair.
    if (s.ballX < 0) {
        s.ballX = 0;
        s.ballVx = -(kWallLoss * s.ballVx);
        contact();
    } else if (s.ballX > 600) {
        s.ballX = 600;
        s.ballVx = -(kWallLoss * s.ballVx);
        contact();
    }
    if (s.ballY < 0) {
        s.ballY = 0;
        s.ballVy = -s.ballVy; // no loss at the ceiling
        s.ballVx = kRubLoss * s.ballVx;
        contact();
    } else if (s.ballY > 512) {
        s.ballY = 512;
        s.ballVy = -(kWallLoss * s.ballVy);
        s.ballVx = kRubLoss * s.ballVx;
        contact();
    }
    // A ball with no vertical speed at all floats: it gets no pull.
    if (s.ballVy != 0) s.ballVy += s.ballGravity;

    // The outline uses the pen width left by the previous frame or mode.
    const double r = s.ballRadius;
    c.circle(s.ballX, s.ballY, r, kNavy, s.ballColour);
    c.setPenWidth(2);

    FrameValues& f = frame();
    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    const double cx = f.prevMouseX, cy = f.prevMouseY;
    c.line(cx, cy - kTriangle, cx + kTriangle, cy + kTriangle, kViolet);
    c.line(cx, cy - kTriangle, cx - kTriangle, cy + kTriangle, kViolet);
    c.line(cx - kTriangle, cy + kTriangle, cx + kTriangle, cy + kTriangle, kViolet);
}

} // namespace tambrel
