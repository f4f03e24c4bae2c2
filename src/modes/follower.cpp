// SPDX-License-Identifier: MIT
#include "modes/follower.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr double kTurn = 5;       // degrees per frame at most
constexpr double kFar = 100;      // accelerate beyond this distance
constexpr double kNear = 70;      // brake below it
constexpr double kAccel = 0.1_sp;
constexpr double kBrake = 0.15_sp;
constexpr double kMinSpeed = 0.3_sp;
constexpr double kMaxSpeed = 10;
constexpr double kInnerRing = 25, kOuterRing = 30;
constexpr int32_t kBackground = rgb(255, 255, 255);
constexpr int32_t kOrchid = rgb(186, 85, 211);
constexpr int32_t kPurple = rgb(128, 0, 128);
constexpr int32_t kSpringGreen = rgb(0, 255, 127);
constexpr int32_t kGreen = rgb(0, 128, 0);
} // namespace

void FollowerMode::initState()
{
    s.followerX = 50 + rnd() * 500;
    s.followerY = 50 + rnd() * 412;
    s.followerHeading = rnd() * 360;
    s.followerSpeed = 2;
    s.followerSize = 10;
}

void FollowerMode::onCanvasClick(int /*x*/, int /*y*/)
{
    s.followerX = 50 + rnd() * 500;
    s.followerY = 50 + rnd() * 412;
    s.followerHeading = rnd() * 360;
    s.followerSize = roundToInt(5 + rnd() * 10);
}

void FollowerMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);
    const double mx = mouseX, my = mouseY;
    double ax, ay, bx, by, cx, cy;
    polarPoint(s.followerX, s.followerY, s.followerHeading, s.followerSpeed, ax, ay);
    polarPoint(s.followerX, s.followerY, s.followerHeading - kTurn, s.followerSpeed, bx, by);
    polarPoint(s.followerX, s.followerY, s.followerHeading + kTurn, s.followerSpeed, cx, cy);
    const double dA = distance(mx, my, ax, ay), dB = distance(mx, my, bx, by), dC = distance(mx, my, cx, cy);

    // Strict comparisons: every tie goes straight on.
    double d;
    if (dA > dB && dC > dB) {
        s.followerX = bx, s.followerY = by, s.followerHeading -= kTurn, d = dB;
    } else if (dA > dC && dB > dC) {
        s.followerX = cx, s.followerY = cy, s.followerHeading += kTurn, d = dC;
    } else {
        s.followerX = ax, s.followerY = ay, d = dA;
    }

    if (d > kFar) {
        s.followerSpeed += kAccel;
        if (s.followerSpeed > kMaxSpeed) s.followerSpeed = kMaxSpeed;
    } else if (d < kNear) {
        s.followerSpeed -= kBrake;
        if (s.followerSpeed < kMinSpeed) s.followerSpeed = kMinSpeed;
    }
    clampToCanvas(s.followerX, s.followerY);

    // The disc uses the pen left by the previous frame or mode.
    const double r = s.followerSize;
    c.circle(s.followerX, s.followerY, r, kPurple, kOrchid);
    c.setPenWidth(1);
    c.setLineStyle(static_cast<int>(LineStyle::Dot));
    FrameValues& f = frame();
    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;
    const double px = f.prevMouseX, py = f.prevMouseY;
    c.circle(px, py, kInnerRing, kSpringGreen, kNoFill);
    c.circle(px, py, kOuterRing, kGreen, kNoFill);
    c.setLineStyle(static_cast<int>(LineStyle::Solid));
}

} // namespace tambrel
