// SPDX-License-Identifier: MIT
#include "modes/bumps.h"
#include "modes/capture.h"
#include "modes/psyche.h"
#include "modes/shader.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tambrel {
namespace {

using test::Harness;

// A picture whose every pixel tells where it came from.
Image gradient(int w, int h)
{
    Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = static_cast<uint32_t>(rgb(x % 256, y % 256, (x * 7 + y * 3) % 256));
    return img;
}

struct CaptureTest : ::testing::Test {
    Harness h;
    PixelBuffer& buf = h.program.pixelBuffer;
    Canvas& canvas = h.program.canvas;
};

TEST_F(CaptureTest, NoPictureStillSwitchesOnBlack)
{
    buf.at(5, 5) = 0x445566;
    h.switchOn(test::kCapture);
    EXPECT_TRUE(h.program.mode(test::kCapture).isOn);
    EXPECT_EQ(canvas.getPixel(5, 5), 0);
    EXPECT_EQ(buf.at(5, 5), 0x445566) << "the buffer is not reloaded";
    EXPECT_EQ(h.platform.eventWaits(), (std::vector<int>{50, 500}));
}

TEST_F(CaptureTest, SnapshotIsCopiedUnscaledAsFarAsItGoes)
{
    h.platform.setScreen(gradient(2, 3)); // far smaller than the canvas
    h.switchOn(test::kCapture);
    EXPECT_EQ(canvas.getPixel(1, 2), rgb(1, 2, 13));
    EXPECT_EQ(canvas.getPixel(2, 0), 0);
    EXPECT_EQ(buf.at(1, 2), rgb(1, 2, 13));

    h.switchOn(test::kCapture);
    h.platform.setScreen(gradient(1920, 1080)); // larger than the screen area
    h.switchOn(test::kCapture);
    EXPECT_EQ(canvas.getPixel(595, 507), rgb(595 % 256, 507 % 256, (595 * 7 + 507 * 3) % 256));
    EXPECT_EQ(buf.at(599, 0), -1) << "cells beyond the surface read back as -1";
    EXPECT_EQ(buf.at(0, 511), -1);
}

TEST_F(CaptureTest, ColourFlowsOnlyDownAndRight)
{
    // Black, with colour only in the bottom-right quarter.
    Image picture(600, 512, 0);
    for (int y = 256; y < 512; ++y)
        for (int x = 300; x < 600; ++x) picture.at(x, y) = 0x8899AA;
    h.platform.setScreen(picture);
    h.switchOn(test::kCapture);
    h.passes(200);
    // Beyond the surface the cells read back as white; that never reaches a visible pixel either.
    for (int y = 0; y < Canvas::kHeight; ++y) {
        for (int x = 0; x < Canvas::kWidth; ++x) {
            if (x < 300 || y < 256) {
                ASSERT_EQ(canvas.getPixel(x, y), 0) << x << "," << y;
            }
        }
    }
}

TEST_F(CaptureTest, TopLeftTwoByTwoKeepsTheSnapshot)
{
    h.platform.setScreen(gradient(600, 512));
    h.switchOn(test::kCapture);
    h.passes(30);
    h.clickCanvas(100, 100); // a scatter never touches x or y below 3
    h.passes(30);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(canvas.getPixel(x, y), rgb(x, y, x * 7 + y * 3));
    EXPECT_TRUE(h.program.mode(test::kCapture).isOn);
}

TEST_F(CaptureTest, ScatterTakesColoursFromNearby)
{
    h.platform.setScreen(Image(600, 512, 0x00FF00));
    h.switchOn(test::kCapture);
    h.clickCanvas(1, 1);
    EXPECT_EQ(canvas.getPixel(300, 300), 0x00FF00);
    // Near the far edges the cells beyond the surface (-1) paint the foreground colour.
    int foreground = 0;
    for (int y = 3; y <= 507; ++y) foreground += canvas.getPixel(595, y) == 0;
    EXPECT_GT(foreground, 0);
    EXPECT_EQ(buf.at(595, 200), canvas.getPixel(595, 200)) << "the buffer is reloaded after a scatter";
}

TEST(Shader, BobSizeFollowsThePointerSpeed)
{
    struct Case {
        int dx, dy; // pointer move since the previous frame
        int side;   // painted square
    };
    for (const Case k : {Case{0, 0, 31}, Case{3, 4, 21}, Case{13, 0, 5}, Case{14, 0, 3}, Case{30, 40, 3}}) {
        Harness h;
        h.switchOn(test::kShader);
        h.program.frame.prevMouseX = 300 - k.dx;
        h.program.frame.prevMouseY = 200 - k.dy;
        h.passes(1, 300, 200);
        int painted = 0;
        for (int y = 150; y < 250; ++y) painted += h.program.canvas.getPixel(300, y) != 0;
        EXPECT_EQ(painted, k.side) << k.dx << "," << k.dy;
        EXPECT_EQ(h.program.frame.prevMouseX, 300);
    }
    // Half-pixel distances round their half-size to even.
    EXPECT_EQ(ShaderMode::bobHalfSize(0.5), 14);
    EXPECT_EQ(ShaderMode::bobHalfSize(1.5), 14);
    EXPECT_EQ(ShaderMode::bobHalfSize(13.5), 2);
    EXPECT_EQ(ShaderMode::bobHalfSize(100), 1);
}

TEST(Shader, SaturatesAndCyclesItsSevenTints)
{
    Harness h;
    h.switchOn(test::kShader);
    h.passes(85, 300, 200);
    EXPECT_EQ(h.program.canvas.getPixel(300, 200), 0xFFFFFF);
    h.passes(5, 300, 200);
    EXPECT_EQ(h.program.canvas.getPixel(300, 200), 0xFFFFFF) << "saturates, never wraps";
    EXPECT_EQ(h.program.pixelBuffer.at(315, 215), 0xFFFFFF);
    EXPECT_EQ(h.program.canvas.getPixel(316, 200), 0);

    auto& m = h.program.mode<ShaderMode>(test::kShader);
    const int32_t first = m.shadeMask;
    h.clickCanvas(0, 0);
    EXPECT_EQ(m.shadeMask, 0x000003) << "white, then red";
    h.passes(10, 100, 100);
    EXPECT_EQ(h.program.canvas.getPixel(100, 100), 30) << "red only: green and blue stay";
    for (int i = 0; i < 6; ++i) h.clickCanvas(0, 0);
    EXPECT_EQ(m.shadeMask, first) << "seven clicks come back";

    h.switchOn(test::kShader);
    h.switchOn(test::kShader);
    EXPECT_EQ(h.program.pixelBuffer.at(300, 200), 0) << "switching on zeroes the buffer";
    EXPECT_EQ(m.shadeMask, first);
    h.passes(1, 5000, -4000); // far outside: paints nothing
}

TEST(Psyche, RingsAreSpacedByTwiceTheirWidthAndXorRestores)
{
    Harness h;
    h.switchOn(test::kPsyche);
    auto& m = h.program.mode<PsycheMode>(test::kPsyche);
    m.s.psycheCount = 1;
    m.s.psycheSources = {RingSource{0, 0, 8, -1}}; // phase becomes 0: radii 1, 17, 33, ...
    m.s.psycheColours = {0xFFFFFF};
    h.passes(1);
    // Along the top row from the centre: runs of ring colour (black on white).
    int rings = 0;
    bool inRing = false;
    for (int x = 0; x < Canvas::kWidth; ++x) {
        const bool ring = h.program.canvas.getPixel(x, 0) == 0;
        rings += ring && !inRing;
        inRing = ring;
    }
    EXPECT_EQ(rings, 38) << "radii 1 + 16 k up to the surface's edge";
    EXPECT_EQ(h.program.canvas.mix(), Mix::CopyPen);
    EXPECT_EQ(h.program.canvas.penWidth(), 8);

    // Two overlapping sets drawn with XOR, then the first again: only the second stays.
    m.s.psycheCount = 2;
    m.s.psycheSources = {RingSource{200, 200, 22, 0}, RingSource{0, 0, 22, 0}};
    m.s.psycheColours = {0x00FF00, 0x00FF00};
    h.passes(1, 300, 250);
    Canvas& c = h.program.canvas;
    c.setMix(7);
    c.setPenWidth(22);
    for (double j = 1; j <= 900; j += 44) c.ellipse(200 - j - 1, 200 - j - 1, 200 + j + 1, 200 + j + 1, 0x00FF00, kNoFill);
    c.setPenWidth(22);
    for (double j = 1; j <= 900; j += 44) c.ellipse(300 - j - 1, 250 - j - 1, 300 + j + 1, 250 + j + 1, 0x00FF00, kNoFill);
    for (int i = 0; i < Canvas::kWidth * Canvas::kHeight; ++i) ASSERT_EQ(c.pixels()[i], 0xFFFFFFu) << i;
}

TEST(Psyche, ClickBuildsACompleteSet)
{
    for (uint32_t seed = 0; seed < 50; ++seed) {
        Harness h(seed);
        h.switchOn(test::kPsyche);
        h.clickCanvas(10, 10);
        auto& m = h.program.mode<PsycheMode>(test::kPsyche);
        ASSERT_GE(m.s.psycheCount, 2);
        ASSERT_LE(m.s.psycheCount, 4);
        for (const RingSource& src : m.s.psycheSources) {
            EXPECT_GE(src.width, 8);
            EXPECT_LE(src.width, 22);
            EXPECT_GT(src.phase, -src.width);
            EXPECT_LE(src.phase, src.width);
        }
        EXPECT_TRUE(m.isOn);
        h.passes(40, 700, -30); // the pointer's centre follows it outside the canvas
        EXPECT_EQ(m.s.psycheSources.back().x, 700);
        for (const RingSource& src : m.s.psycheSources) {
            EXPECT_GT(src.phase, -src.width);
            EXPECT_LE(src.phase, src.width);
        }
    }
}

TEST(Bumps, ScatteredBallsNeverOverlap)
{
    for (uint32_t seed = 0; seed < 40; ++seed) {
        Harness h(seed);
        h.switchOn(test::kBumps);
        h.clickCanvas(1, 1);
        auto& m = h.program.mode<BumpsMode>(test::kBumps);
        const auto& balls = m.s.bumpBalls;
        ASSERT_GE(m.s.bumpCount, 10);
        ASSERT_LE(m.s.bumpCount, 50);
        ASSERT_EQ(balls.size(), static_cast<size_t>(m.s.bumpCount));
        for (size_t i = 0; i < balls.size(); ++i) {
            EXPECT_GE(balls[i].x, 0);
            EXPECT_LT(balls[i].x, 600);
            EXPECT_GE(balls[i].y, 0);
            EXPECT_LT(balls[i].y, 512);
            for (size_t j = i + 1; j < balls.size(); ++j)
                EXPECT_GE(distance(balls[i].x, balls[i].y, balls[j].x, balls[j].y), balls[i].radius + balls[j].radius);
        }
        EXPECT_TRUE(m.isOn);
    }
}

TEST(Bumps, TouchingMovesOverlappingStays)
{
    Harness h;
    h.switchOn(test::kBumps);
    auto& m = h.program.mode<BumpsMode>(test::kBumps);
    m.s.bumpCount = 2;
    m.s.bumpColours.assign(2, {});
    // Ball 1 moves straight down by 2 to touch ball 2 exactly: it moves.
    m.s.bumpBalls = {BumpBall{100, 100, 10, 2, 0}, BumpBall{100, 122, 10, 0, 0}};
    h.passes(1, 400, 400);
    EXPECT_EQ(m.s.bumpBalls[0].y, 102);
    EXPECT_EQ(m.s.bumpBalls[0].direction, 0);
    // Another step would overlap: it stays and re-aims.
    h.passes(1, 400, 400);
    EXPECT_EQ(m.s.bumpBalls[0].y, 102);
    EXPECT_NE(m.s.bumpBalls[0].direction, 0);
    // The pointer is an obstacle of radius 20.
    m.s.bumpBalls = {BumpBall{300, 300, 10, 5, 0}, BumpBall{50, 50, 5, 0, 0}};
    h.passes(1, 300, 333);
    EXPECT_EQ(m.s.bumpBalls[0].y, 300);
    EXPECT_EQ(h.program.frame.pointerBall.radius, 20);
}

} // namespace
} // namespace tambrel
