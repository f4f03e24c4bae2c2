// SPDX-License-Identifier: MIT
#include "modes/clouds.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <algorithm>
#include <cstdlib>

namespace tambrel {

namespace {
// A channel value rounded half to even and held to 0..255. Cloud values lie
// within -45..301 (corners up to 256, offsets up to 45), where adding and
// taking away 1.5 x 2^52 rounds exactly: this runs 2.45 million times a cloud.
int channel(double v)
{
    constexpr double kShift = 6755399441055744.0; // 1.5 x 2^52
    return std::clamp(static_cast<int>((v + kShift) - kShift), 0, 255);
}
int32_t pack(const CloudColour& c) { return rgb(c.red, c.green, c.blue); }
// (a + b) / 2 rounded half to even, in whole numbers: a half goes to the
// even neighbour.
int midpoint(int a, int b)
{
    const int sum = a + b, low = sum >> 1;
    return low + ((sum & 1) & (low & 1));
}
} // namespace

void CloudsMode::initState() { isOn = false; }

void CloudsMode::start() { canvas().clearCanvas(0); }

void CloudsMode::onCanvasClick(int /*x*/, int /*y*/)
{
    CloudColour corner[4]; // top-left, top-right, bottom-left, bottom-right
    for (auto channelOf : {&CloudColour::red, &CloudColour::green, &CloudColour::blue})
        for (CloudColour& c : corner) c.*channelOf = roundToInt(256 * rnd()); // 0..256
    cloudRoughness = roundToInt(10 * rnd() + 5);

    Canvas& cv = canvas();
    cv.setPixel(0, 0, pack(corner[0]));
    cv.setPixel(599, 0, pack(corner[1]));
    cv.setPixel(0, 511, pack(corner[2]));
    cv.setPixel(599, 511, pack(corner[3]));
    subdivideCalls = 0;
    subdivideCloud(0, 599, 0, 511, corner[0], corner[1], corner[2], corner[3]);
    platform().redraw();
}

void CloudsMode::subdivideCloud(int x1, int x2, int y1, int y2, const CloudColour& a, const CloudColour& b,
                                const CloudColour& c, const CloudColour& d)
{
    ++subdivideCalls;
    const int mx = midpoint(x1, x2), my = midpoint(y1, y2);
    const double r = cloudRoughness;
    const double h = cloudRoughness / 2; // truncated
    CloudColour t, l, m, g, o;           // top, left, centre, right, bottom
    // Five draws per channel, red first; the centre averages only the
    // top-left and bottom-right corners.
    auto channelOf = [&](int CloudColour::*ch) {
        t.*ch = channel(r * rnd() + (a.*ch + b.*ch) / 2.0 - h);
        l.*ch = channel(r * rnd() + (a.*ch + c.*ch) / 2.0 - h);
        m.*ch = channel(6 * r * rnd() + (a.*ch + d.*ch) / 2.0 - 3 * r);
        g.*ch = channel(r * rnd() + (b.*ch + d.*ch) / 2.0 - h);
        o.*ch = channel(r * rnd() + (c.*ch + d.*ch) / 2.0 - h);
    };
    channelOf(&CloudColour::red);
    channelOf(&CloudColour::green);
    channelOf(&CloudColour::blue);
    Canvas& cv = canvas();
    cv.setPixel(mx, y1, pack(t));
    cv.setPixel(x1, my, pack(l));
    cv.setPixel(mx, my, pack(m));
    cv.setPixel(x2, my, pack(g));
    cv.setPixel(mx, y2, pack(o));

    // A top or left half is entered when it spans a pixel, a right or bottom
    // half only when it spans two.
    if (std::abs(x1 - mx) > 0 && std::abs(y1 - my) > 0) subdivideCloud(x1, mx, y1, my, a, t, l, m);
    if (std::abs(x2 - mx) > 1 && std::abs(y1 - my) > 0) subdivideCloud(mx, x2, y1, my, t, b, m, g);
    if (std::abs(x1 - mx) > 0 && std::abs(y2 - my) > 1) subdivideCloud(x1, mx, my, y2, l, m, c, o);
    if (std::abs(x2 - mx) > 1 && std::abs(y2 - my) > 1) subdivideCloud(mx, x2, my, y2, m, g, o, d);
}

} // namespace tambrel
