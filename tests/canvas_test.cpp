// SPDX-License-Identifier: MIT
#include "gfx/canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <optional>
#include <vector>

namespace tambrel {
namespace {

constexpr int W = Canvas::kWidth, H = Canvas::kHeight;
constexpr uint32_t kWhite = 0xFFFFFF, kInk = 0x123456;

Canvas whiteCanvas()
{
    Canvas c;
    c.setForeColor(-1);
    c.setBackColor(0xFFFFFF);
    c.clearCanvas(-1);
    return c;
}

std::vector<uint32_t> snapshot(const Canvas& c) { return {c.pixels(), c.pixels() + W * H}; }

int countInk(const Canvas& c, uint32_t colour = kInk)
{
    int n = 0;
    for (int i = 0; i < W * H; ++i) n += c.pixels()[i] == colour;
    return n;
}

// Columns of row y painted in `colour`, as [first, last]; {-1, -1} if none.
std::pair<int, int> rowExtent(const Canvas& c, int y, uint32_t colour = kInk)
{
    int first = -1, last = -1;
    for (int x = 0; x < W; ++x)
        if (c.at(x, y) == colour) {
            if (first < 0) first = x;
            last = x;
        }
    return {first, last};
}

TEST(CanvasLine, OnePixelLineDrawsItsStartAndNotItsEnd)
{
    Canvas c = whiteCanvas();
    c.line(10, 10, 20, 10, kInk);
    for (int x = 10; x <= 19; ++x) EXPECT_EQ(c.at(x, 10), kInk) << x;
    EXPECT_EQ(c.at(20, 10), kWhite);
    EXPECT_EQ(c.at(9, 10), kWhite);
    EXPECT_EQ(countInk(c), 10);

    Canvas back = whiteCanvas(); // drawn the other way: starts at 20, ends before 10
    back.line(20, 10, 10, 10, kInk);
    EXPECT_EQ(back.at(20, 10), kInk);
    EXPECT_EQ(back.at(10, 10), kWhite);

    Canvas diag = whiteCanvas();
    diag.line(0, 0, 8, 4, kInk);
    EXPECT_EQ(countInk(diag), 8); // one pixel per column, end excluded
    EXPECT_EQ(diag.at(0, 0), kInk);
    EXPECT_EQ(diag.at(8, 4), kWhite);

    Canvas dot = whiteCanvas();
    dot.line(5, 5, 5, 5, kInk); // the start is the end: nothing
    EXPECT_EQ(countInk(dot), 0);
}

TEST(CanvasLine, CoordinatesRoundHalfToEven)
{
    Canvas c = whiteCanvas();
    c.setPixel(2.5, 3.5, kInk);
    EXPECT_EQ(c.at(2, 4), kInk);
    c.setPixel(-0.5, 0.4, kInk);
    EXPECT_EQ(c.at(0, 0), kInk);
    c.line(2.5, 7, 5.5, 7, kInk); // pixels 2..5, the rounded end 6 excluded
    EXPECT_EQ(rowExtent(c, 7), std::make_pair(2, 5));
}

TEST(CanvasLine, WidePensAreCentredWithRoundEnds)
{
    for (int w : {2, 3, 4, 5, 8}) {
        Canvas c = whiteCanvas();
        c.setPenWidth(w);
        c.line(100, 100, 200, 100, kInk);
        int rows = 0;
        for (int y = 80; y < 120; ++y) rows += c.at(150, y) == kInk;
        EXPECT_EQ(rows, w) << "width " << w;
        // Centred: the rows above and below the ideal line differ by at most one.
        int above = 0, below = 0;
        for (int y = 80; y < 100; ++y) above += c.at(150, y) == kInk;
        for (int y = 101; y < 120; ++y) below += c.at(150, y) == kInk;
        EXPECT_LE(std::abs(above - below), 1) << "width " << w;
        // Round caps cover both ends and reach about w / 2 beyond them.
        EXPECT_EQ(c.at(200, 100), kInk);
        EXPECT_EQ(c.at(100, 100), kInk);
        EXPECT_NEAR(rowExtent(c, 100).first, 100 - w / 2.0, 1.0);
        EXPECT_EQ(c.at(100 - w / 2 - 2, 100), kWhite);
    }
    Canvas dot = whiteCanvas();
    dot.setPenWidth(6);
    dot.line(50, 50, 50, 50, kInk); // a wide pen at rest leaves a round dot
    EXPECT_GT(countInk(dot), 20);
    EXPECT_LT(countInk(dot), 40);
}

TEST(CanvasLine, DashPatternsPaintTheirGapsInTheBackgroundColour)
{
    struct Case {
        int style;
        std::vector<int> runs;
    };
    const Case cases[] = {{1, {18, 6}}, {2, {3, 3}}, {3, {9, 6, 3, 6}}, {4, {9, 3, 3, 3, 3, 3}}};
    for (const Case& k : cases) {
        Canvas c;
        c.clearCanvas(0x00FF00);
        c.setBackColor(0x0000FF);
        c.setLineStyle(k.style);
        c.line(0, 5, 200, 5, kInk);
        int x = 0;
        bool on = true;
        for (int run : k.runs) {
            for (int i = 0; i < run; ++i, ++x) EXPECT_EQ(c.at(x, 5), on ? kInk : 0x0000FFu) << "style " << k.style << " x " << x;
            on = !on;
        }
    }
    Canvas wide = whiteCanvas();
    wide.setLineStyle(2);
    wide.setPenWidth(3);
    wide.line(0, 5, 100, 5, kInk);
    for (int x = 0; x < 100; ++x) EXPECT_EQ(wide.at(x, 5), kInk) << "wide pens draw solid";

    Canvas c = whiteCanvas();
    c.setLineStyle(7);
    EXPECT_EQ(c.lineStyle(), LineStyle::Solid);
    c.setMix(0);
    EXPECT_EQ(c.mix(), Mix::CopyPen);
    c.setMix(17);
    EXPECT_EQ(c.mix(), Mix::CopyPen);
}

TEST(CanvasLine, FarAwayAndInvalidCoordinatesAreSafe)
{
    Canvas c = whiteCanvas();
    c.line(-1e9, 100, 1e9, 100, kInk); // clipped as if drawn where it lies
    EXPECT_EQ(rowExtent(c, 100), std::make_pair(0, W - 1));
    c.line(0, 0, 1e12, 1e12, kInk);
    for (int i = 0; i < H; ++i) EXPECT_EQ(c.at(i, i), kInk);

    Canvas n = whiteCanvas();
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = INFINITY;
    n.line(nan, 0, 10, 10, kInk);
    n.box(0, 0, nan, 10, 0, kInk, kInk);
    n.ellipse(0, 0, 10, nan, kInk, kInk);
    n.setPixel(nan, 1.0, kInk);
    EXPECT_EQ(countInk(n), 0) << "a NaN coordinate draws nothing";
    EXPECT_EQ(n.getPixel(nan, 0), -1);
    n.line(-inf, 50, inf, 50, kInk);
    n.setPenWidth(9);
    n.line(inf, -inf, 3, 3, kInk);
    n.ellipse(-1e300, -1e300, 1e300, 1e300, kInk, kNoFill);
}

// Clipping only skips invisible steps: a line across the border draws the
// same visible pixels as a plain walk from its start that plots what it can.
TEST(CanvasLine, ClippedLinesMatchAnUnclippedWalk)
{
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> coord(-700, 1300);
    for (int n = 0; n < 2000; ++n) {
        const int x1 = coord(gen), y1 = coord(gen), x2 = coord(gen), y2 = coord(gen);
        Canvas c = whiteCanvas(), ref = whiteCanvas();
        c.setLineStyle(n % 5);
        ref.setBackColor(0xFFFFFF);
        c.line(x1, y1, x2, y2, kInk);
        const int dx = x2 - x1, dy = y2 - y1, len = std::max(std::abs(dx), std::abs(dy));
        // Reference: major steps one by one, minor offset rounded half away from the start.
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int minorLen = xMajor ? std::abs(dy) : std::abs(dx);
        const int sMaj = (xMajor ? dx : dy) < 0 ? -1 : 1, sMin = (xMajor ? dy : dx) < 0 ? -1 : 1;
        static const std::vector<std::vector<int>> on = {{1}, {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
        std::vector<bool> pattern;
        for (size_t r = 0; r < on[static_cast<size_t>(n % 5)].size(); ++r)
            for (int i = 0; i < on[static_cast<size_t>(n % 5)][r]; ++i) pattern.push_back(r % 2 == 0);
        for (int k = 0; k < len; ++k) {
            const int q = static_cast<int>((2LL * k * minorLen + len) / (2LL * len));
            const int maj = (xMajor ? x1 : y1) + sMaj * k, mn = (xMajor ? y1 : x1) + sMin * q;
            const int x = xMajor ? maj : mn, y = xMajor ? mn : maj;
            if (x >= 0 && y >= 0 && x < W && y < H) ref.at(x, y) = pattern[static_cast<size_t>(k) % pattern.size()] ? kInk : kWhite;
        }
        ASSERT_EQ(snapshot(c), snapshot(ref)) << x1 << "," << y1 << " -> " << x2 << "," << y2 << " style " << n % 5;
    }
}

TEST(CanvasShapes, BoxCornersInAnyOrderCoverRightAndBottomExclusive)
{
    Canvas a = whiteCanvas(), b = whiteCanvas();
    a.box(10, 10, 20, 20, 0, kInk, kOutlineColour);
    b.box(20, 20, 10, 10, 0, kInk, kOutlineColour);
    EXPECT_EQ(snapshot(a), snapshot(b));
    EXPECT_EQ(countInk(a), 100);
    for (int y = 10; y < 20; ++y) EXPECT_EQ(rowExtent(a, y), std::make_pair(10, 19));

    Canvas hollow = whiteCanvas();
    hollow.box(10, 10, 20, 20, 0, kInk, kNoFill);
    EXPECT_EQ(countInk(hollow), 36); // the ring only
    EXPECT_EQ(hollow.at(15, 15), kWhite);

    Canvas filled = whiteCanvas();
    filled.box(10, 10, 20, 20, 0, kInk, 0x00FF00);
    EXPECT_EQ(countInk(filled), 36);
    EXPECT_EQ(filled.at(15, 15), 0x00FF00u);
}

TEST(CanvasShapes, WideOutlineIsHalfInsideHalfOutside)
{
    Canvas c = whiteCanvas();
    c.setPenWidth(4);
    c.box(20, 20, 60, 60, 0, kInk, kNoFill);
    EXPECT_EQ(rowExtent(c, 40), std::make_pair(18, 61)); // two outside, two inside on each side
    for (int x = 18; x <= 21; ++x) EXPECT_EQ(c.at(x, 40), kInk);
    EXPECT_EQ(c.at(22, 40), kWhite);
    for (int x = 58; x <= 61; ++x) EXPECT_EQ(c.at(x, 40), kInk);
    EXPECT_EQ(c.at(57, 40), kWhite);
}

TEST(CanvasShapes, EllipseIsInscribedInItsBox)
{
    Canvas c = whiteCanvas();
    c.ellipse(0, 0, 10, 10, kInk, kNoFill); // a circle's outline; the inside keeps its pixels
    EXPECT_EQ(c.at(5, 5), kWhite);
    int minX = W, maxX = -1, minY = H, maxY = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (c.at(x, y) == kInk) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    EXPECT_EQ(minX, 0);
    EXPECT_EQ(maxX, 9);
    EXPECT_EQ(minY, 0);
    EXPECT_EQ(maxY, 9);
    for (int y = 0; y < 10; ++y) { // left-right symmetric
        for (int x = 0; x < 10; ++x) EXPECT_EQ(c.at(x, y), c.at(9 - x, y));
    }

    Canvas disc = whiteCanvas();
    disc.ellipse(100, 100, 140, 140, kInk, kOutlineColour);
    EXPECT_NEAR(countInk(disc), 3.14159 * 20 * 20, 40);
    Canvas ring = whiteCanvas(); // a ring of radius 0 with a wide pen is a round dot
    ring.setPenWidth(8);
    ring.ellipse(50, 50, 50, 50, kInk, kNoFill);
    EXPECT_GT(countInk(ring), 25);
    EXPECT_LT(countInk(ring), 64);
    EXPECT_EQ(ring.at(46, 46), kWhite) << "round, not square";
    Canvas swapped = whiteCanvas();
    swapped.ellipse(140, 140, 100, 100, kInk, kOutlineColour);
    EXPECT_EQ(snapshot(disc), snapshot(swapped));
}

// Hollow wide rings skip the rows where they cannot show; filled ones visit
// every row. Their outlines must still be the same pixels.
TEST(CanvasShapes, HollowWideRingsDrawTheSameOutlineAsFilledOnes)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> centre(-900, 1500), radius(0, 1300), squash(0.3, 1.7);
    for (int n = 0; n < 300; ++n) {
        const double cx = centre(gen), cy = centre(gen), rx = radius(gen), ry = rx * squash(gen);
        const int w = 2 + static_cast<int>(gen() % 30);
        Canvas hollow = whiteCanvas(), filled = whiteCanvas();
        hollow.setPenWidth(w);
        filled.setPenWidth(w);
        hollow.ellipse(cx - rx, cy - ry, cx + rx, cy + ry, kInk, kNoFill);
        filled.ellipse(cx - rx, cy - ry, cx + rx, cy + ry, kInk, 0x00FF00);
        for (int i = 0; i < W * H; ++i)
            ASSERT_EQ(hollow.pixels()[i] == kInk, filled.pixels()[i] == kInk)
                << "ring " << n << " at (" << cx << ", " << cy << ") radii " << rx << ", " << ry << " width " << w;
    }
}

TEST(CanvasShapes, DottedRingAlternatesOutlineAndBackground)
{
    Canvas c;
    c.clearCanvas(0x00FF00);
    c.setBackColor(0x0000FF);
    c.setLineStyle(2);
    c.ellipse(100, 100, 160, 160, kInk, kNoFill);
    const int ink = countInk(c), gaps = countInk(c, 0x0000FF);
    EXPECT_GT(ink, 60);
    EXPECT_NEAR(ink, gaps, 6);
    EXPECT_EQ(c.at(130, 130), 0x00FF00u);
}

// A dashed shape's walk along its outline is kept for its size and reused:
// the same size must dash alike at any whole-pixel place, whatever shapes
// (of that size, other kinds) came before, and cut by the surface's edge.
TEST(CanvasShapes, DashedShapesOfOneSizeDashAlikeEverywhere)
{
    struct Case {
        int corner; // -1: an ellipse
        double w, h;
    };
    const Case cases[] = {{-1, 9, 9}, {0, 9, 9}, {30, 9, 9}, {60, 9, 9}, {-1, 14.5, 5}, {-1, 4, 15.5}, {50, 14.5, 5},
                          {-1, 1, 7}, {-1, 0, 6}, {0, 40, 3}, {-1, 61, 47}, {25, 61, 47}};
    Canvas kept = whiteCanvas(); // keeps its walks from case to case
    for (int style = 1; style <= 4; ++style)
        for (const Case& k : cases) {
            SCOPED_TRACE(testing::Message() << "style " << style << ", corner " << k.corner << ", " << k.w << " x " << k.h);
            auto draw = [&](Canvas& c, double x, double y) {
                c.clearCanvas(kWhite);
                c.setLineStyle(style);
                if (k.corner < 0) c.ellipse(x, y, x + k.w, y + k.h, kInk, 0x00FF00);
                else c.box(x, y, x + k.w, y + k.h, k.corner, kInk, 0x00FF00);
            };
            Canvas fresh = whiteCanvas();
            draw(fresh, 100.25, 80.25);
            const std::vector<uint32_t> first = snapshot(fresh);
            for (auto [dx, dy] : {std::pair{0, 0}, {217, 9}, {-40, 300}}) {
                draw(kept, 100.25 + dx, 80.25 + dy);
                for (int y = 70; y < 140; ++y)
                    for (int x = 90; x < 170; ++x)
                        ASSERT_EQ(kept.at(x + dx, y + dy), first[static_cast<size_t>(y * W + x)]) << x << ", " << y;
            }
            // Cut by the left edge: as a canvas that never drew the size cuts it.
            Canvas freshCut = whiteCanvas();
            draw(freshCut, -4.5, 200);
            draw(kept, -4.5, 200);
            EXPECT_EQ(snapshot(kept), snapshot(freshCut));
        }
}

TEST(CanvasMix, AllSixteenRasterOperations)
{
    const uint32_t s = 0x5A3CF0, p = 0x33CC0F, m = 0xFFFFFF;
    const uint32_t expected[17] = {0,          0,         ~(p | s) & m, s & ~p, ~p & m,   p & ~s, ~s & m,   p ^ s,
                                   ~(s & p) & m, s & p,   ~(s ^ p) & m, s,      (s | ~p) & m, p,  (p | ~s) & m, s | p,
                                   m};
    for (int mix = 1; mix <= 16; ++mix) {
        Canvas c;
        c.clearCanvas(static_cast<int32_t>(s));
        c.setMix(mix);
        c.line(0, 0, 3, 0, static_cast<int32_t>(p));
        c.box(0, 2, 3, 4, 0, static_cast<int32_t>(p), kOutlineColour);
        EXPECT_EQ(c.at(0, 0), expected[mix]) << "mix " << mix;
        EXPECT_EQ(c.at(1, 3), expected[mix]) << "mix " << mix;
        EXPECT_EQ(c.at(5, 0), s);
        c.setPixel(9, 9, static_cast<int32_t>(p)); // setPixel ignores the mix
        EXPECT_EQ(c.at(9, 9), p);
    }
}

TEST(CanvasPixels, ReadBackAndOutside)
{
    Canvas c = whiteCanvas();
    EXPECT_EQ(c.getPixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(c.getPixel(600, 0), -1);
    EXPECT_EQ(c.getPixel(596, 0), -1);
    EXPECT_EQ(c.getPixel(0, 508), -1);
    EXPECT_EQ(c.getPixel(-1, 5), -1);
    c.setPixel(595, 507, 0x7F0102);
    EXPECT_EQ(c.getPixel(595, 507), 0x7F0102);
    c.setPixel(3, 3, -1);
    EXPECT_EQ(c.getPixel(3, 3), 0);           // -1 is the foreground colour
    c.setPixel(4, 4, static_cast<int32_t>(0xAB123456));
    EXPECT_EQ(c.getPixel(4, 4), 0x123456);    // the top byte is not a colour
}

TEST(CanvasCopy, CopiesUnscaledAndClipsToBothPictures)
{
    Image img(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) img.at(x, y) = static_cast<uint32_t>(0x100 * x + y + 1);
    Canvas c = whiteCanvas();
    c.setMix(7); // ignored by copyImage
    c.copyImage(img, 0, 0, 599, 511, 0, 0); // the picture is smaller than asked
    EXPECT_EQ(c.at(2, 1), 0x202u);
    EXPECT_EQ(c.at(3, 0), kWhite);
    EXPECT_EQ(c.at(0, 2), kWhite);
    c.copyImage(img, 0, 0, 2, 1, 594, 507); // runs off the surface
    EXPECT_EQ(c.at(595, 507), 0x101u);
    c.copyImage(img, 0, 0, 2, 1, -2, -1);
    EXPECT_EQ(c.at(0, 0), 0x202u);
    c.copyImage(Image(), 0, 0, 599, 511, 0, 0);
    c.copyImage(img, -5, -5, 1e15, 1e15, -1e15, 3);
}

// Thousands of random figures: no crash, nothing drawn where nothing can be
// seen, and every figure drawn twice with XOR leaves the surface as it was.
TEST(CanvasProperty, RandomFiguresDrawnTwiceWithXorRestoreTheSurface)
{
    std::mt19937 gen(42);
    std::uniform_real_distribution<double> near(-200, 800), unit(0, 1);
    const double specials[] = {NAN, INFINITY, -INFINITY, 1e308, -1e308, 3e9, -3e9, 0.5, 2.5};
    auto coord = [&] {
        const double u = unit(gen);
        if (u < 0.05) return specials[gen() % std::size(specials)];
        if (u < 0.15) return near(gen) * 1e4;
        return near(gen);
    };
    Canvas c;
    for (int i = 0; i < W * H; ++i) const_cast<uint32_t*>(c.pixels())[i] = static_cast<uint32_t>(gen()) & 0xFFFFFF;
    const std::vector<uint32_t> before = snapshot(c);
    for (int n = 0; n < 3000; ++n) {
        c.setPenWidth(static_cast<int>(gen() % 5 == 0 ? gen() % 40 : gen() % 4));
        c.setLineStyle(static_cast<int>(gen() % 6));
        c.setBackColor(static_cast<int32_t>(gen() & 0xFFFFFF));
        c.setMix(7);
        const double x1 = coord(), y1 = coord(), x2 = coord(), y2 = coord();
        const int32_t col = static_cast<int32_t>(gen() & 0xFFFFFF);
        const int32_t fill = gen() % 3 == 0 ? kNoFill : gen() % 2 ? kOutlineColour : static_cast<int32_t>(gen() & 0xFFFFFF);
        const int kind = static_cast<int>(gen() % 3);
        const int corner = static_cast<int>(gen() % 3 == 0 ? gen() % 120 : 0);
        for (int twice = 0; twice < 2; ++twice) {
            if (kind == 0) c.line(x1, y1, x2, y2, col);
            else if (kind == 1) c.box(x1, y1, x2, y2, corner, col, fill);
            else c.ellipse(x1, y1, x2, y2, col, fill);
        }
        ASSERT_EQ(snapshot(c), before) << "figure " << n << " kind " << kind;
    }
}

TEST(CanvasProperty, FiguresEntirelyOffTheSurfaceChangeNothing)
{
    Canvas c = whiteCanvas();
    const std::vector<uint32_t> before = snapshot(c);
    for (int w : {0, 1, 5, 30}) {
        c.setPenWidth(w);
        c.line(-100, -100, -50, -10, kInk);
        c.line(700, 0, 900, 400, kInk);
        c.box(640, 0, 700, 100, 0, kInk, kOutlineColour);
        c.ellipse(-80, 520, -40, 560, kInk, kOutlineColour);
        c.ellipse(0, 700, 100, 800, kInk, kOutlineColour);
    }
    EXPECT_EQ(snapshot(c), before);
}

// The batched rings against the same circles drawn one by one, over random
// sets: centres on, near and far off the surface, radii negative to huge,
// every pen width up to 40, every line style, the exclusive-or mixes
// (gathered into rows) and others (drawn in order), on a surface that is not
// blank or on one cleared first; with and without the wider vectors.
TEST(CanvasRings, BatchedRingsMatchTheCirclesDrawnOneByOne)
{
    std::mt19937 gen(2026);
    auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(gen); };
    const int mixes[] = {7, 7, 7, 10, 6, 11, 13, 9};
    Canvas base = whiteCanvas();
    for (int i = 0; i < 40; ++i) base.ellipse(uni(-50, 650), uni(-50, 550), uni(-50, 650), uni(-50, 550), gen() & 0xFFFFFF, gen() & 0xFFFFFF);
    for (int round = 0; round < 300; ++round) {
        std::vector<Canvas::RingSet> sets;
        const int count = 1 + static_cast<int>(gen() % 4);
        for (int s = 0; s < count; ++s) {
            Canvas::RingSet set;
            const int where = static_cast<int>(gen() % 4);
            set.cx = where == 0 ? uni(-3000, 3600) : std::round(uni(-40, 640) * 2) / 2 + (where == 1 ? 0.3 : 0);
            set.cy = where == 0 ? uni(-3000, 3500) : std::round(uni(-40, 550) * 2) / 2;
            set.penWidth = static_cast<int>(gen() % 41);
            set.firstRadius = std::round(uni(-30, 60));
            set.spacing = gen() % 5 == 0 ? uni(0.5, 3000) : std::round(uni(2, 45));
            set.count = static_cast<int>(gen() % 70);
            set.colour = gen() % 8 == 0 ? -1 : static_cast<int32_t>(gen() & 0xFFFFFF);
            sets.push_back(set);
        }
        const int mix = mixes[round % 8];
        const int style = static_cast<int>(gen() % 5); // dashes only for pens of width 0 and 1
        Canvas batched = base, single = base;
        batched.setMix(mix);
        single.setMix(mix);
        batched.setLineStyle(style);
        single.setLineStyle(style);
        // A third of the rounds on a cleared surface, in the same sweep.
        const std::optional<int32_t> background =
            round % 3 ? std::nullopt : std::optional<int32_t>(round % 2 ? -1 : static_cast<int32_t>(gen() & 0xFFFFFF));
        batched.rings(sets, background);
        if (background) single.clearCanvas(*background);
        for (const Canvas::RingSet& set : sets) {
            single.setPenWidth(set.penWidth);
            for (int k = 0; k < set.count; ++k)
                single.circle(set.cx, set.cy, set.firstRadius + k * set.spacing, set.colour, kNoFill);
        }
        ASSERT_EQ(snapshot(batched), snapshot(single)) << "round " << round << " mix " << mix;
        // Narrower vectors against the widest this processor has.
        for (int bits : {128, 256}) {
            Canvas narrow = base;
            narrow.limitVectorBits(bits);
            narrow.setMix(mix);
            narrow.setLineStyle(style);
            narrow.rings(sets, background);
            ASSERT_EQ(snapshot(narrow), snapshot(batched)) << "round " << round << " with " << bits << "-bit vectors";
        }
        ASSERT_EQ(batched.penWidth(), single.penWidth());
    }
}

} // namespace
} // namespace tambrel
