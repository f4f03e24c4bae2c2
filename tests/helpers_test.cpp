// SPDX-License-Identifier: MIT
#include "gfx/geometry.h"
#include "gfx/memory_platform.h"
#include "gfx/numeric.h"
#include "gfx/rnd.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace tambrel {
namespace {

TEST(Rnd, FirstValuesFromStateZero)
{
    Rnd r;
    r.setState(0);
    EXPECT_EQ(r.next(), 0.0);
    EXPECT_EQ(r.state(), 1u);
    EXPECT_DOUBLE_EQ(r.next(), 67387907.0 / 2147483648.0);
    EXPECT_EQ(r.state(), 134775814u);
    r.setState(0xFFFFFFFFu); // wraps modulo 2^32
    const double v = r.next();
    EXPECT_GE(v, 0.0);
    EXPECT_LT(v, 1.0);
}

TEST(Rnd, SeedIsTheSinglePrecisionSecondsSinceMidnight)
{
    EXPECT_EQ(Rnd::seedForTimeOfDay(0, 0, 1, 500), std::bit_cast<uint32_t>(1.5f));
    EXPECT_EQ(Rnd::seedForTimeOfDay(13, 45, 7, 123), std::bit_cast<uint32_t>(49507.123f));
    EXPECT_EQ(Rnd::seedForTimeOfDay(0, 0, 0, 0), 0u);
}

TEST(Numeric, RoundingIsHalfToEvenAndSafe)
{
    EXPECT_EQ(roundToInt(2.5), 2);
    EXPECT_EQ(roundToInt(3.5), 4);
    EXPECT_EQ(roundToInt(-0.5), 0);
    EXPECT_EQ(roundToInt(-1.5), -2);
    EXPECT_EQ(roundToInt(49.5), 50);
    EXPECT_EQ(roundToInt(10.5), 10);
    EXPECT_EQ(roundToInt(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(roundToInt(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(roundToInt(-INFINITY), std::numeric_limits<int>::min());
    EXPECT_EQ(floorToInt(-0.5), -1);
    EXPECT_EQ(truncToInt(-7.9), -7);
    EXPECT_EQ(0.1_sp, 0.10000000149011612);
    EXPECT_EQ(0.97_sp, 0.97000002861022949);
    EXPECT_EQ(1.01_sp, 1.0099999904632568);
}

// The inline conversions against the library's, over ties, neighbours of
// ties, the int range's edges and random doubles of every magnitude.
TEST(Numeric, FastConversionsAgreeWithTheLibrary)
{
    std::vector<double> values = {0.0, -0.0, 0.5, -0.5, 1.5, 2.5, -2.5, 0.49999999999999994, 4503599627370495.5,
                                  4503599627370497.0, 9007199254740993.0, 2147483647.5, 2147483646.5, -2147483648.5,
                                  -2147483649.0, 2147483648.0, INFINITY, -INFINITY};
    std::mt19937_64 gen(7);
    for (int i = 0; i < 200000; ++i) {
        const double mag = std::ldexp(1.0, static_cast<int>(gen() % 70) - 10);
        values.push_back((static_cast<double>(gen() % 2000001) / 1000000.0 - 1) * mag);
        values.push_back(std::round(values.back() * 2) / 2); // a tie
    }
    auto lib = [](double r) {
        if (std::isnan(r)) return 0;
        return r <= INT_MIN ? INT_MIN : r >= INT_MAX ? INT_MAX : static_cast<int>(r);
    };
    for (double v : values) {
        ASSERT_EQ(std::bit_cast<uint64_t>(roundEven(v)), std::bit_cast<uint64_t>(std::nearbyint(v))) << v;
        ASSERT_EQ(roundToInt(v), lib(std::nearbyint(v))) << v;
        ASSERT_EQ(floorToInt(v), lib(std::floor(v))) << v;
    }
}

TEST(Geometry, ClampToCanvasKeepsBounds)
{
    double x = -3, y = 700;
    clampToCanvas(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 512);
    x = 600, y = 0;
    clampToCanvas(x, y);
    EXPECT_EQ(x, 600);
    EXPECT_EQ(y, 0);
}

struct Ball {
    double x, y, radius;
};

TEST(Geometry, FindCollisionIsStrictAndHonoursSkip)
{
    const std::vector<Ball> balls = {{100, 100, 10}, {200, 100, 10}, {205, 100, 10}};
    const std::span<const Ball> t(balls);
    EXPECT_EQ(findCollision(125, 100, 15.0, t, 3), 0) << "touching is no collision";
    EXPECT_EQ(findCollision(124.999, 100, 15.0, t, 3), 1);
    EXPECT_EQ(findCollision(200, 100, 1.0, t, 3), 2) << "the first match wins";
    EXPECT_EQ(findCollision(200, 100, 1.0, t, 3, 2), 3);
    EXPECT_EQ(findCollision(100, 100, 1.0, t, 0), 0);
    EXPECT_EQ(findCollision(100, 100, 1.0, t, 99), 1) << "count never reads past the table";
}

TEST(Geometry, PolarPointPutsZeroDownAndNinetyRight)
{
    double x, y;
    polarPoint(100, 100, 0, 10, x, y);
    EXPECT_DOUBLE_EQ(x, 100);
    EXPECT_DOUBLE_EQ(y, 110);
    polarPoint(100, 100, 90, 10, x, y);
    EXPECT_NEAR(x, 110, 1e-9);
    EXPECT_NEAR(y, 100, 1e-9);
    polarPoint(100, 100, 180, 10, x, y);
    EXPECT_NEAR(y, 90, 1e-9);
    EXPECT_DOUBLE_EQ(distance(0, 0, 3, 4), 5);
}

TEST(Geometry, CanvasMouseIsClientMinusFive)
{
    MemoryPlatform p;
    p.setPointer(10, 10);
    int x, y;
    getCanvasMouse(p, x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
    p.setPointer(-40, 2000);
    getCanvasMouse(p, x, y);
    EXPECT_EQ(x, -45);
    EXPECT_EQ(y, 1995);
    // The renderer's pointer at the ends of the int range (a path line
    // "2147483647 0"): no overflow on the way in or out.
    p.setCanvasMouse(INT_MAX, INT_MIN);
    getCanvasMouse(p, x, y);
    EXPECT_EQ(x, INT_MAX - 5);
    EXPECT_EQ(y, INT_MIN);
}

TEST(Geometry, RgbClampsEachComponent)
{
    EXPECT_EQ(rgb(300, -20, 128), 8388863);
    EXPECT_EQ(rgb(1, 2, 3), 0x030201);
}

} // namespace
} // namespace tambrel
