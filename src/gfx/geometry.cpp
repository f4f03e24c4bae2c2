// SPDX-License-Identifier: MIT
#include "gfx/geometry.h"

#include "gfx/platform.h"

#include <algorithm>
#include <climits>

namespace tambrel {

void clampToCanvas(double& x, double& y)
{
    if (x < 0) x = 0;
    else if (x > 600) x = 600;
    if (y < 0) y = 0;
    else if (y > 512) y = 512;
}

void getCanvasMouse(Platform& platform, int& x, int& y)
{
    int cx = 0, cy = 0;
    platform.pointerClientPosition(cx, cy);
    // Saturates at the int range instead of overflowing; nothing else is clamped.
    auto shift = [](int v) { return static_cast<int>(std::max<long long>(0LL + v - 5, INT_MIN)); };
    x = shift(cx);
    y = shift(cy);
}

} // namespace tambrel
