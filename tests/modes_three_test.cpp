// SPDX-License-Identifier: MIT
#include "modes/drawing.h"
#include "modes/emitter.h"
#include "modes/follower.h"
#include "modes/snow.h"
#include "modes/stars.h"
#include "modes/whirl.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tambrel {
namespace {

using test::Harness;

TEST(Whirl, CountRoundsHalfToEvenAndOddColumnsGiveTheSecondOneMore)
{
    // t = 0 (columns) with N = 49 (odd): 24 balls at angle 90, 25 at 270.
    const uint32_t state = test::findState([](Rnd& r) {
        const bool columns = floorToInt(4 * r.next()) == 0;
        return columns && roundToInt(10 + 40 * r.next()) == 49;
    });
    Harness h;
    h.switchOn(test::kWhirl);
    auto& m = h.program.mode<WhirlMode>(test::kWhirl);
    h.program.rnd.setState(state);
    h.clickCanvas(1, 1);
    ASSERT_EQ(m.lastShape, 0);
    ASSERT_EQ(m.s.whirlCount, 49);
    int first = 0, second = 0;
    for (const WhirlBall& b : m.s.whirlParticles) (b.angle == 90 ? first : second)++;
    EXPECT_EQ(first, 24);
    EXPECT_EQ(second, 25);
    EXPECT_GE(std::fabs(m.s.whirlSpin), 0.1);
    EXPECT_TRUE(m.isOn);
    EXPECT_EQ(h.platform.sleeps().back(), 100);
}

TEST(Whirl, FramesDrawBackToFront)
{
    Harness h;
    h.switchOn(test::kWhirl);
    auto& m = h.program.mode<WhirlMode>(test::kWhirl);
    h.passes(1, 100, 100);
    EXPECT_EQ(h.program.canvas.getPixel(100, 100), 0x0000FF) << "only the red cross before any click";
    for (uint32_t seed = 0; seed < 30; ++seed) {
        h.program.rnd.setState(seed);
        h.clickCanvas(1, 1);
        h.passes(3);
        for (size_t k = 1; k < m.s.whirlDepth.size(); ++k) EXPECT_LE(m.s.whirlDepth[k - 1], m.s.whirlDepth[k]);
    }
    // A ball behind depth -150 has a negative scale: drawn with swapped corners.
    m.s.whirlCount = 1;
    m.s.whirlParticles = {WhirlBall{100, 190, 0}};
    m.s.whirlColours = {0x00FF00};
    m.s.whirlX.assign(1, 0), m.s.whirlDepth.assign(1, 0), m.s.whirlOrder.assign(1, 0);
    m.s.whirlSpin = 180, m.s.whirlSize = 100;
    h.passes(1, 5, 5);
    EXPECT_EQ(h.program.canvas.getPixel(300, 256 + 100 - 100 - 38), 0x00FF00);
}

TEST(Stars, SpokesCountByRoundingButSpaceByTheRealValue)
{
    for (auto [points, spokes] : {std::pair{3.4, 3}, {3.5, 4}, {4.5, 4}, {5.5, 6}, {6.5, 6}, {7.5, 8}}) {
        Harness h;
        h.switchOn(test::kStars);
        auto& m = h.program.mode<StarsMode>(test::kStars);
        m.s.starSpawnDivisor = 1e9; // no births
        m.s.starTable[0] = Star{300, 256, 0, 0, 50, points, 0, 0};
        m.s.starColours[0] = 0x00FFFF;
        h.passes(1, 20, 20);
        int runs = 0;
        bool inSpoke = false;
        for (int a = 0; a < 3600; ++a) { // around a circle of radius 30
            const double t = a * std::numbers::pi / 1800;
            const bool on = h.program.canvas.getPixel(300 + 30 * std::sin(t), 256 + 30 * std::cos(t)) == 0x00FFFF;
            runs += on && !inSpoke;
            inSpoke = on;
        }
        if (inSpoke && h.program.canvas.getPixel(300, 286) == 0x00FFFF) --runs; // wrapped around
        EXPECT_EQ(runs, spokes) << "points " << points;
    }
}

TEST(Stars, BirthMotionAndTheBorder)
{
    Harness h;
    h.switchOn(test::kStars);
    auto& m = h.program.mode<StarsMode>(test::kStars);
    h.passes(3);
    int alive = 0;
    for (const Star& st : m.s.starTable) alive += st.length > 0;
    EXPECT_EQ(alive, 3) << "one birth per frame while the divisor is 0";
    for (const Star& st : m.s.starTable) {
        if (st.length <= 0) continue;
        EXPECT_GE(st.points, 3);
        EXPECT_LT(st.points, 8);
    }
    // On the border lives on, beyond it is dropped; nothing is born when full.
    for (Star& st : m.s.starTable) st = Star{300, 256, 0, 0, 1, 3, 0, 0};
    m.s.starTable[0] = Star{300, 512, 0, 0, 1, 3, 0, 0};
    m.s.starTable[1] = Star{300, 512, 0.5, 0, 1, 3, 0, 0};
    h.passes(1);
    EXPECT_GT(m.s.starTable[0].length, 0);
    EXPECT_EQ(m.s.starTable[1].length, 0);
    EXPECT_NEAR(m.s.starTable[0].length, 1.01, 1e-6);
    h.clickCanvas(600, 512);
    EXPECT_EQ(m.s.starOriginX, 600);
    EXPECT_LT(m.s.starSpawnDivisor, 3);
}

TEST(Snow, FlakesSettleFromAboveAndNeverFromBelow)
{
    Harness h;
    h.switchOn(test::kSnow);
    auto& m = h.program.mode<SnowMode>(test::kSnow);
    m.s.snowSpawnDivisor = 1e9; // no new flakes
    m.s.snowBarHalfWidth = 60;
    for (Flake& f : m.s.snowFlakes) f = Flake{};
    h.passes(1, 300, 300); // the bar now lies at (300, 300)
    m.s.snowFlakes[0] = Flake{300, 289, 2, 0, 10}; // lower edge about to cross the bar
    m.s.snowFlakes[1] = Flake{300, 296, 2, 0, 10}; // already below the bar's line by half its size
    h.passes(1, 300, 300);
    EXPECT_EQ(m.s.snowFlakes[0].y, 300 - 10 - 2) << "rests 2 pixels above the bar's line";
    EXPECT_NEAR(m.s.snowFlakes[1].y, 298, 1e-9) << "flakes do not stick from underneath";
    m.s.snowFlakes[2] = Flake{100, 511, 2, 0, 10};
    h.passes(1, 300, 300);
    EXPECT_EQ(m.s.snowFlakes[2].size, 0) << "freed below the canvas";
    EXPECT_EQ(h.program.canvas.penWidth(), 1);
    EXPECT_EQ(h.program.canvas.getPixel(300, 300), 0x2222B2) << "the bar";
}

TEST(Snow, OneFlakePerFrameWhileSlotsAreFree)
{
    Harness h;
    h.switchOn(test::kSnow);
    auto& m = h.program.mode<SnowMode>(test::kSnow);
    h.passes(10);
    int alive = 0;
    for (const Flake& f : m.s.snowFlakes) alive += f.size > 0;
    EXPECT_EQ(alive, 10);
    // Every slot draws its jitter, free ones included: the birth test, a birth's
    // four draws and 200 jitters.
    const uint32_t before = h.program.rnd.state();
    h.passes(1);
    Rnd r;
    r.setState(before);
    for (int i = 0; i < 1 + 4 + 200; ++i) r.next();
    EXPECT_EQ(h.program.rnd.state(), r.state());
}

TEST(Emitter, CursorWrapsAndOverwritesOnAFullTable)
{
    Harness h;
    h.switchOn(test::kEmitter);
    auto& m = h.program.mode<EmitterMode>(test::kEmitter);
    EXPECT_EQ(m.s.emitterCursor, 0);
    EXPECT_GE(m.s.emitSpread, 0);
    EXPECT_LT(m.s.emitSpread, 3) << "the first setting is narrower than clicked ones";
    h.passes(60, 300, 300);
    EXPECT_GE(m.s.emitterCursor, 1);
    int alive = 0;
    for (const Particle& p : m.s.emitterParticles) alive += p.radius > 0;
    EXPECT_EQ(alive, m.s.emitterCursor) << "emissions take slots 1, 2, 3 ...";

    for (Particle& p : m.s.emitterParticles) p = Particle{0, 0, 0, 0, 1000, 0};
    m.s.emitterCursor = 57;
    for (int i = 0; i < 50; ++i) h.passes(1, 300, 300);
    EXPECT_EQ(m.s.emitterCursor, 57) << "a full table reuses the latest emission's slot";
    EXPECT_LT(m.s.emitterParticles[56].radius, 1000);

    // A full table before any emission must not search for ever.
    for (Particle& p : m.s.emitterParticles) p = Particle{0, 0, 0, 0, 1000, 0};
    m.s.emitterCursor = 0;
    for (int i = 0; i < 50; ++i) h.passes(1, 300, 300);
    EXPECT_EQ(m.s.emitterCursor, 1);
}

TEST(Follower, TiesGoStraightAndSpeedHoldsOnTheBandEdges)
{
    Harness h;
    h.switchOn(test::kFollower);
    auto& m = h.program.mode<FollowerMode>(test::kFollower);
    auto place = [&](double speed) {
        m.s.followerX = 300, m.s.followerY = 200, m.s.followerHeading = 0, m.s.followerSpeed = speed;
    };
    place(2);
    h.passes(1, 300, 202 + 100); // straight ahead, exactly 100 from the new position
    EXPECT_EQ(m.s.followerHeading, 0);
    EXPECT_EQ(m.s.followerSpeed, 2);
    place(2);
    h.passes(1, 300, 202 + 70);
    EXPECT_EQ(m.s.followerSpeed, 2);
    place(2);
    h.passes(1, 300, 202 + 69);
    EXPECT_NEAR(m.s.followerSpeed, 2 - 0.15, 1e-6);
    place(2);
    h.passes(1, 300, 100); // straight behind: B and C tie, it goes on
    EXPECT_EQ(m.s.followerHeading, 0);
    EXPECT_EQ(m.s.followerY, 202);
    place(9.95);
    h.passes(1, 300, 500);
    EXPECT_EQ(m.s.followerSpeed, 10);
    place(0.4);
    h.passes(1, 300, 201);
    EXPECT_EQ(m.s.followerSpeed, 0.30000001192092896);
    place(2);
    h.passes(1, 500, 200); // off to the right: it turns towards the pointer by 5
    EXPECT_EQ(std::fabs(m.s.followerHeading), 5);
    m.s.followerX = 599;
    m.s.followerHeading = 90;
    h.passes(1, 900, 200);
    EXPECT_EQ(m.s.followerX, 600) << "held inside the canvas";
    h.clickCanvas(3, 3);
    EXPECT_GE(m.s.followerSize, 5);
    EXPECT_LE(m.s.followerSize, 15);
}

TEST(Drawing, StrokeWidthIsTakenBeforeTheUpdateWithEvenTies)
{
    Harness h;
    h.platform.setCanvasMouse(123, 45);
    h.switchOn(test::kDrawing);
    auto& m = h.program.mode<DrawingMode>(test::kDrawing);
    EXPECT_EQ(m.s.drawLastX, 123);
    EXPECT_EQ(m.s.drawLastY, 45);
    m.s.drawTargetWidth = 20, m.s.drawWidthStep = 0.25;
    m.s.drawWidth = 2.5;
    h.passes(1, 200, 45);
    EXPECT_EQ(h.program.canvas.penWidth(), 2);
    EXPECT_EQ(m.s.drawWidth, 2.75);
    m.s.drawWidth = 3.5;
    h.passes(1, 300, 45);
    EXPECT_EQ(h.program.canvas.penWidth(), 4);
    EXPECT_EQ(h.program.canvas.getPixel(150, 45), m.s.drawColour) << "strokes pile up";
    const int32_t colour = m.s.drawColour;
    const double width = m.s.drawWidth;
    h.clickCanvas(10, 10);
    EXPECT_NE(m.s.drawColour, colour);
    EXPECT_EQ(m.s.drawWidth, width) << "a click changes only the colour";
}

TEST(Drawing, WidthStaysWithinItsBand)
{
    Harness h(77);
    h.switchOn(test::kDrawing);
    auto& m = h.program.mode<DrawingMode>(test::kDrawing);
    for (int i = 0; i < 5000; ++i) {
        h.passes(1, i % 600, (i * 7) % 512);
        ASSERT_GT(m.s.drawWidth, 0.4);
        ASSERT_LT(m.s.drawWidth, 26.6);
    }
}

} // namespace
} // namespace tambrel
