// SPDX-License-Identifier: MIT
// Differential fuzz target: the same random drawing on the canvas and on the
// plain reference model must leave the same pixels, and every getPixel must
// agree. Both surfaces live across runs and are reset at the start of each.

#include "fuzz_input.h"
#include "gfx/canvas.h"
#include "reference_canvas.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

using tambrel::Canvas;
using tambrel::Image;
using tambrel::test::ReferenceCanvas;

namespace {

// Coordinates on, near and far off the surface, halves (where rounding goes
// to even), and the values the canvas clamps.
double coordinate(tambrel::fuzz::Input& in)
{
    static const double specials[] = {std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY, 1e300, -1e300,
                                      16777216, -16777216, 16777215.5, -16777216.5, 16777217, 8192, -8192,
                                      8192 + 596, 8192 + 508, -0.5, 0.5, 595.5, 507.5, 2.5, 3.5};
    const uint8_t how = in.take<uint8_t>();
    if (how < 128) return in.take<int16_t>() / 16.0;
    if (how < 192) return in.take<int16_t>();
    if (how < 224) return specials[in.take<uint8_t>() % std::size(specials)];
    return in.take<double>();
}

int32_t colour(tambrel::fuzz::Input& in)
{
    const uint8_t how = in.take<uint8_t>();
    return how < 48 ? -1 : how < 80 ? -2 : in.take<int32_t>();
}

int penWidth(tambrel::fuzz::Input& in)
{
    const uint8_t how = in.take<uint8_t>();
    if (how < 230) return how % 41;
    return in.take<int32_t>() % (1 << 22);
}

// Both canvases take every call; getPixel is compared on the way.
struct Both {
    Canvas& c;
    ReferenceCanvas& r;
    template <typename F>
    void operator()(F f)
    {
        f(c);
        f(r);
    }
};

void fail(const Canvas& c, const ReferenceCanvas& r, int ops)
{
    for (int i = 0; i < Canvas::kWidth * Canvas::kHeight; ++i)
        if (c.pixels()[i] != r.pixels()[i]) {
            std::fprintf(stderr, "after %d operations: pixel (%d, %d) is %06x, the reference says %06x\n", ops,
                         i % Canvas::kWidth, i / Canvas::kWidth, c.pixels()[i], r.pixels()[i]);
            break;
        }
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Canvas canvas;
    static ReferenceCanvas reference;
    Both both{canvas, reference};
    both([](auto& k) {
        k.setPenWidth(0), k.setLineStyle(0), k.setMix(13), k.setForeColor(0), k.setBackColor(0xFFFFFF);
        k.clearCanvas(0xFFFFFF);
    });
    tambrel::fuzz::Input in(data, size);
    int ops = 0;
    while (!in.done() && ops++ < 12) {
        switch (in.take<uint8_t>() % 12) {
        case 0: { const int32_t v = colour(in); both([&](auto& k) { k.clearCanvas(v); }); break; }
        case 1: { const double x = coordinate(in), y = coordinate(in); const int32_t v = colour(in);
                  both([&](auto& k) { k.setPixel(x, y, v); }); break; }
        case 2: { const double x = coordinate(in), y = coordinate(in);
                  if (canvas.getPixel(x, y) != reference.getPixel(x, y)) fail(canvas, reference, ops);
                  break; }
        case 3: { const double a = coordinate(in), b = coordinate(in), x = coordinate(in), y = coordinate(in);
                  const int32_t v = colour(in);
                  both([&](auto& k) { k.line(a, b, x, y, v); }); break; }
        case 4: { const double a = coordinate(in), b = coordinate(in), x = coordinate(in), y = coordinate(in);
                  const int corner = in.take<uint8_t>() < 128 ? 0 : in.take<int8_t>();
                  const int32_t o = colour(in), f = colour(in);
                  both([&](auto& k) { k.box(a, b, x, y, corner, o, f); }); break; }
        case 5: { const double a = coordinate(in), b = coordinate(in), x = coordinate(in), y = coordinate(in);
                  const int32_t o = colour(in), f = colour(in);
                  both([&](auto& k) { k.ellipse(a, b, x, y, o, f); }); break; }
        case 6: { const int w = penWidth(in); both([&](auto& k) { k.setPenWidth(w); }); break; }
        case 7: { const int s = in.take<int8_t>() % 6; both([&](auto& k) { k.setLineStyle(s); }); break; }
        case 8: { const int m = in.take<uint8_t>() % 18; both([&](auto& k) { k.setMix(m); }); break; }
        case 9: { const int32_t v = colour(in); const bool back = in.take<uint8_t>() % 2;
                  both([&](auto& k) { back ? k.setBackColor(v) : k.setForeColor(v); }); break; }
        case 10: {
            Canvas::RingSet sets[3];
            const int n = 1 + in.take<uint8_t>() % 3;
            for (int i = 0; i < n; ++i)
                sets[i] = {coordinate(in), coordinate(in), penWidth(in), coordinate(in), in.take<int8_t>() / 4.0,
                           in.take<uint8_t>() % 9, colour(in)};
            both([&](auto& k) { k.rings(std::span<const Canvas::RingSet>(sets, static_cast<size_t>(n))); });
            break;
        }
        case 11: {
            const int w = in.take<uint8_t>() % 64, h = in.take<uint8_t>() % 64;
            Image image(w, h, in.take<uint32_t>());
            for (uint32_t& p : image.pixels) p ^= static_cast<uint32_t>(&p - image.pixels.data()) * 0x9E3779B1u;
            if (in.take<uint8_t>() % 4 == 0 && !image.pixels.empty()) image.pixels.resize(image.pixels.size() / 2);
            const double a = coordinate(in), b = coordinate(in), x = coordinate(in), y = coordinate(in),
                         dx = coordinate(in), dy = coordinate(in);
            both([&](auto& k) { k.copyImage(image, a, b, x, y, dx, dy); });
            break;
        }
        }
    }
    if (std::memcmp(canvas.pixels(), reference.pixels(), sizeof(uint32_t) * Canvas::kWidth * Canvas::kHeight) != 0)
        fail(canvas, reference, ops);
    return 0;
}
