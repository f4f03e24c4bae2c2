// SPDX-License-Identifier: MIT
#pragma once
// Small helpers the modes share. Angles are degrees with 0 pointing straight
// down the canvas and 90 to the right; colours pack as r + 256 g + 65536 b.

#include <cmath>
#include <cstdint>
#include <span>

namespace tambrel {

class Platform;

constexpr double kDegToRad = 0.0174532925199433;

// Holds a point inside [0, 600] x [0, 512]; values on a bound stay.
void clampToCanvas(double& x, double& y);

inline double distance(double x1, double y1, double x2, double y2)
{
    return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2));
}

// The point at `angle` degrees and `radius` from (cx, cy): sine to x, cosine to y.
inline void polarPoint(double cx, double cy, double angle, double radius, double& outX, double& outY)
{
    const double a = angle * kDegToRad;
    outX = cx + std::sin(a) * radius;
    outY = cy + std::cos(a) * radius;
}

// Packs a colour, clamping each component to 0..255.
constexpr int32_t rgb(int r, int g, int b)
{
    auto c = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
    return c(r) + 256 * c(g) + 65536 * c(b);
}

// Index (from 1) of the first ball among balls[0..count-1] that overlaps the
// circle, 0 if none. Circles that just touch do not overlap. Ball `skip`
// (1-based; 0 skips nothing) is passed over. Any type with x, y, radius works.
template <typename Ball>
int findCollision(double x, double y, double radius, std::span<const Ball> balls, int count, int skip = 0)
{
    const int n = count < static_cast<int>(balls.size()) ? count : static_cast<int>(balls.size());
    for (int i = 1; i <= n; ++i) {
        if (i == skip) continue;
        const Ball& b = balls[static_cast<size_t>(i - 1)];
        if (distance(x, y, b.x, b.y) < radius + b.radius) return i;
    }
    return 0;
}

// The pointer as the modes see it: its position in the main window's client
// area minus 5 in each coordinate; not clamped.
void getCanvasMouse(Platform& platform, int& x, int& y);

} // namespace tambrel
