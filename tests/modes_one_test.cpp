// SPDX-License-Identifier: MIT
#include "modes/bouncy.h"
#include "modes/clouds.h"
#include "modes/fireworks.h"
#include "modes/gravity.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tambrel {
namespace {

using test::Harness;

struct BouncyTest : ::testing::Test {
    Harness h;
    BouncyMode& m = h.program.mode<BouncyMode>(test::kBouncy);
    BouncyState& s = m.s;
    void SetUp() override { h.switchOn(test::kBouncy); }
    int32_t colourAtBall() { return h.program.canvas.getPixel(s.ballX, s.ballY); }
};

TEST_F(BouncyTest, StartsInsideItsBoxAndMovesAtOnce)
{
    Harness fresh(99);
    const BouncyState& b = fresh.program.mode<BouncyMode>(test::kBouncy).s;
    EXPECT_GE(b.ballX, 50);
    EXPECT_LT(b.ballX, 550);
    EXPECT_GE(b.ballY, 50);
    EXPECT_LT(b.ballY, 462);
    EXPECT_EQ(b.ballRadius, 15);
    EXPECT_EQ(b.ballGravity, 0.10000000149011612);
}

TEST_F(BouncyTest, SideWallFlashesRedForTenFrames)
{
    s.ballX = 598, s.ballY = 200, s.ballVx = 3, s.ballVy = -0.05, s.flashFrames = 0;
    h.passes(1, 100, 400);
    EXPECT_EQ(s.ballX, 600);
    EXPECT_NEAR(s.ballVx, -2.7, 1e-6);
    EXPECT_EQ(s.flashFrames, 10);
    s.ballX = 300, s.ballVx = 0; // keep it visible and away from the walls
    EXPECT_EQ(s.ballColour, rgb(255, 0, 0));
    for (int frame = 2; frame <= 10; ++frame) {
        s.ballVy = 0;
        h.passes(1, 100, 400);
        EXPECT_EQ(colourAtBall(), rgb(255, 0, 0)) << "frame " << frame;
    }
    s.ballVy = 0;
    h.passes(1, 100, 400);
    EXPECT_EQ(colourAtBall(), rgb(0, 191, 255)) << "sky blue from the eleventh frame";
}

TEST_F(BouncyTest, FloorCeilingAndCorner)
{
    s.ballX = 300, s.ballY = 508, s.ballVx = 1, s.ballVy = 5;
    h.passes(1);
    EXPECT_EQ(s.ballY, 512);
    EXPECT_NEAR(s.ballVy, -4.5 + 0.1, 1e-6);
    EXPECT_NEAR(s.ballVx, 0.97, 1e-6);

    s.ballY = 3, s.ballVy = -5, s.ballVx = 1;
    h.passes(1);
    EXPECT_EQ(s.ballY, 0);
    EXPECT_DOUBLE_EQ(s.ballVy, 5 + s.ballGravity) << "no loss at the ceiling";

    s.ballX = 1, s.ballY = 511, s.ballVx = -2, s.ballVy = 2, s.flashFrames = 0;
    h.passes(1);
    EXPECT_EQ(s.ballX, 0);
    EXPECT_EQ(s.ballY, 512);
    EXPECT_NEAR(s.ballVx, 2 * 0.9 * 0.97, 1e-6) << "side rule and floor rule in one frame";
    EXPECT_EQ(s.flashFrames, 10);

    s.ballX = 600, s.ballY = 512, s.ballVx = 0, s.ballVy = 0, s.flashFrames = 0;
    h.passes(1);
    EXPECT_EQ(s.flashFrames, 0) << "a centre exactly on a limit is no contact";
    EXPECT_EQ(s.ballVy, 0) << "no vertical speed, no pull";
}

TEST_F(BouncyTest, ClicksKickUpAndAway)
{
    s.ballX = 300, s.ballVx = 0, s.ballVy = 0;
    h.clickCanvas(351, 10);
    EXPECT_EQ(s.ballVx, -2);
    EXPECT_EQ(s.ballVy, -3);
    h.clickCanvas(350, 10);
    EXPECT_EQ(s.ballVx, -2);
    EXPECT_EQ(s.ballVy, -6);
    h.clickCanvas(249, 10);
    EXPECT_EQ(s.ballVx, 0);
}

TEST_F(BouncyTest, OutlineUsesThePenLeftByThePreviousMode)
{
    h.program.canvas.setPenWidth(7);
    s.ballX = 300, s.ballY = 300, s.ballVx = 0, s.ballVy = 0;
    h.passes(1, 100, 100);
    EXPECT_EQ(h.program.canvas.getPixel(300 - 15 - 2, 300), rgb(0, 0, 128)) << "first frame: width 7";
    h.passes(1, 100, 100);
    EXPECT_EQ(h.program.canvas.getPixel(300 - 15 - 2, 300), 0xFFFFFF) << "then 2 pixels wide";
    EXPECT_EQ(h.program.canvas.penWidth(), 2);
}

TEST(Fireworks, RingBurstOfFiveIsEvenlySpaced)
{
    // A state whose burst is a ring of N = 5 with no second burst.
    const uint32_t state = test::findState([](Rnd& r) {
        for (int i = 0; i < 5; ++i) r.next();
        const bool five = roundToInt(5 + r.next() * 24) == 5;
        r.next();
        const bool ring = floorToInt(r.next() * 2) == 1;
        return five && ring && floorToInt(r.next() * 2) == 0;
    });
    ASSERT_LT(state, 50'000'000u);
    Harness h;
    h.switchOn(test::kFireworks);
    auto& m = h.program.mode<FireworksMode>(test::kFireworks);
    h.program.rnd.setState(state);
    h.clickCanvas(200, 150);
    int used = 0;
    std::vector<double> angles;
    for (const Spark& sp : m.s.sparks) {
        if (sp.radius <= 0) continue;
        ++used;
        EXPECT_EQ(sp.x, 200);
        EXPECT_EQ(sp.y, 150);
        angles.push_back(std::fmod(std::atan2(sp.vx, sp.vy) * 180 / std::numbers::pi + 360, 360));
    }
    ASSERT_EQ(used, 5);
    EXPECT_EQ(h.program.rnd.state(), [&] { Rnd r; r.setState(state); for (int i = 0; i < 9; ++i) r.next(); return r.state(); }())
        << "a ring burst with no second burst draws eight values and the second-burst test";
    for (size_t i = 1; i < angles.size(); ++i)
        EXPECT_NEAR(std::fmod(angles[i] - angles[i - 1] + 360, 360), 72, 1e-6) << "step 360 / 5";
    for (int i = 1; i < 5; ++i) EXPECT_EQ(m.s.sparkColours[0], m.s.sparkColours[static_cast<size_t>(i)]);
}

TEST(Fireworks, FullTableSendsLateSparksToSlotOne)
{
    Harness h;
    h.switchOn(test::kFireworks);
    auto& m = h.program.mode<FireworksMode>(test::kFireworks);
    for (int i = 0; i < 200; ++i) m.s.sparks[static_cast<size_t>(i)].radius = i < 190 ? 1000 : 0;
    h.program.rnd.setState(test::findState([](Rnd& r) {
        for (int i = 0; i < 5; ++i) r.next();
        return roundToInt(5 + r.next() * 24) >= 20; // enough sparks to run past the table
    }));
    h.clickCanvas(300, 200);
    int fresh = 0;
    for (int i = 190; i < 200; ++i) fresh += m.s.sparks[static_cast<size_t>(i)].radius < 1000;
    EXPECT_EQ(fresh, 10) << "the free slots fill first";
    EXPECT_LT(m.s.sparks[0].radius, 1000) << "every later spark of the click lands in slot 1";
    EXPECT_EQ(m.s.sparks[1].radius, 1000);
}

TEST(Fireworks, SparksShrinkAwayAndFreeTheirSlots)
{
    Harness h;
    h.switchOn(test::kFireworks);
    auto& m = h.program.mode<FireworksMode>(test::kFireworks);
    m.s.sparks[0] = Spark{100, 100, 1, 0, 0.5, 0.1, 0.2};
    h.passes(1);
    EXPECT_LE(m.s.sparks[0].radius, 0);
    EXPECT_EQ(m.s.sparks[0].x, 101) << "it moves once more in its last frame";
    EXPECT_EQ(m.s.sparks[0].vy, 0.5);
    EXPECT_EQ(h.program.canvas.penWidth(), 1);
    EXPECT_EQ(h.program.canvas.lineStyle(), LineStyle::Solid);
}

struct GravityTest : ::testing::Test {
    Harness h;
    GravityMode& m = h.program.mode<GravityMode>(test::kGravity);
    void SetUp() override { h.switchOn(test::kGravity); }
    void buildWithSpacing(int spacing)
    {
        const uint32_t state = test::findState([&](Rnd& r) { return roundToInt(20 + 80 * r.next()) == spacing; });
        h.program.rnd.setState(state);
        h.clickCanvas(1, 1);
    }
};

TEST_F(GravityTest, MeshSizesForSpacings)
{
    buildWithSpacing(20);
    EXPECT_EQ(m.s.gravityCols, 30);
    EXPECT_EQ(m.s.gravityRows, 25);
    EXPECT_EQ(m.s.gravityCount, 750);
    EXPECT_EQ(m.s.gravityPoints.front().x, 10);
    EXPECT_EQ(m.s.gravityPoints.front().y, 16);
    EXPECT_EQ(m.s.gravityPoints.back().x, 590);
    EXPECT_EQ(m.s.gravityPoints.back().y, 496);
    EXPECT_EQ(m.s.gravityPoints[1].y, 36) << "columns are listed top to bottom";

    buildWithSpacing(37);
    EXPECT_EQ(m.s.gravityCols, 16);
    EXPECT_EQ(m.s.gravityRows, 13);
    EXPECT_EQ(m.s.gravityPoints.front().x, 22);
    EXPECT_EQ(m.s.gravityPoints.front().y, 34);

    buildWithSpacing(100);
    EXPECT_EQ(m.s.gravityCount, 30);
    EXPECT_EQ(m.s.gravityPoints.back().x, 550);
    EXPECT_EQ(m.s.gravityPoints.back().y, 456);
    EXPECT_TRUE(m.isOn);
    EXPECT_EQ(h.platform.sleeps().back(), 100) << "the rebuild pauses with the mode off";
}

TEST_F(GravityTest, PullGrowsAsADotComesCloseAndOvershootIsCaught)
{
    buildWithSpacing(100);
    m.s.gravityPull = 10;
    m.s.gravityCount = 3;
    m.s.gravityPoints[0] = {200, 300};   // 100 pixels left of the pointer
    m.s.gravityPoints[1] = {290, 300};   // 10 away along x
    m.s.gravityPoints[2] = {300.5, 300}; // within a pixel: overshoots
    h.passes(1, 300, 300);
    EXPECT_NEAR(m.s.gravityPoints[0].x, 200.4, 1e-9);
    EXPECT_NEAR(m.s.gravityPoints[1].x, 294, 1e-9);
    EXPECT_LE(std::fabs(m.s.gravityPoints[2].x - 300), 3);
    EXPECT_LE(std::fabs(m.s.gravityPoints[2].y - 300), 3);

    const MeshPoint before = m.s.gravityPoints[0];
    h.passes(1, 650, 300); // pointer outside the canvas: nothing moves
    EXPECT_EQ(m.s.gravityPoints[0].x, before.x);
}

TEST_F(GravityTest, SwitchingOnAgainKeepsTheOldLinesWithoutDots)
{
    buildWithSpacing(100);
    h.switchOn(test::kGravity);
    h.switchOn(test::kGravity);
    EXPECT_EQ(m.s.gravityCount, 0);
    EXPECT_EQ(m.s.gravityCols, 6);
    h.passes(1, 300, 300);
    EXPECT_EQ(h.program.canvas.lineStyle(), LineStyle::Solid);
    // A mesh line between the first two points of column one stays visible.
    int meshPixels = 0;
    for (int y = 56; y < 156; ++y) meshPixels += h.program.canvas.getPixel(50, y) == 0x9314FF;
    EXPECT_GT(meshPixels, 40);
}

TEST(Clouds, OneClickMakesTheWholeCloud)
{
    Harness h;
    h.switchOn(test::kClouds);
    EXPECT_EQ(h.program.canvas.getPixel(100, 100), 0) << "black until the first cloud";
    auto& m = h.program.mode<CloudsMode>(test::kClouds);
    const uint32_t state = 31337;
    h.program.rnd.setState(state);
    const uint32_t sentinel = 0x010203;
    h.program.canvas.clearCanvas(sentinel);
    const int redraws = h.platform.redraws();
    h.clickCanvas(5, 5);
    EXPECT_EQ(m.subdivideCalls, 163370);
    EXPECT_GE(m.cloudRoughness, 5);
    EXPECT_LE(m.cloudRoughness, 15);
    EXPECT_EQ(h.platform.redraws(), redraws + 1);
    int untouched = 0;
    for (int y = 0; y < Canvas::kHeight; ++y)
        for (int x = 0; x < Canvas::kWidth; ++x) untouched += h.program.canvas.at(x, y) == sentinel;
    EXPECT_LE(untouched, 2) << "every visible pixel is repainted by a click";
    Rnd expected;
    expected.setState(state);
    for (long i = 0; i < 13 + 15L * 163370; ++i) expected.next();
    EXPECT_EQ(h.program.rnd.state(), expected.state()) << "13 draws per click and 15 per subdivision";
}

TEST(Clouds, FirstLevelSplitsAtTheEvenMidpoints)
{
    Harness h;
    h.switchOn(test::kClouds);
    auto& m = h.program.mode<CloudsMode>(test::kClouds);
    m.cloudRoughness = 5;
    h.program.canvas.clearCanvas(0x010203);
    const CloudColour black{0, 0, 0};
    // A 3 x 3 rectangle: only its five new points change.
    m.subdivideCloud(0, 2, 0, 2, black, black, black, black);
    int changed = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) changed += h.program.canvas.at(x, y) != 0x010203;
    EXPECT_LE(changed, 9);
    EXPECT_NE(h.program.canvas.at(1, 1), 0x010203u);
    EXPECT_NE(h.program.canvas.at(1, 0), 0x010203u);
    EXPECT_NE(h.program.canvas.at(0, 1), 0x010203u);
    EXPECT_NE(h.program.canvas.at(2, 1), 0x010203u);
    EXPECT_NE(h.program.canvas.at(1, 2), 0x010203u);
}

} // namespace
} // namespace tambrel
