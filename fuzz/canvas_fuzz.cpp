// SPDX-License-Identifier: MIT
// Fuzz target: any sequence of canvas operations with any doubles and
// integers. Nothing may crash or read or write outside the surface, and the
// surface holds 24-bit colours only.

#include "fuzz_input.h"
#include "gfx/canvas.h"

#include <cstdlib>

using tambrel::Canvas;
using tambrel::Image;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tambrel::fuzz::Input in(data, size);
    // One surface for all runs, reset at the start of each.
    static Canvas c;
    c.setPenWidth(0), c.setLineStyle(0), c.setMix(13), c.setForeColor(0), c.setBackColor(0xFFFFFF);
    c.clearCanvas(0xFFFFFF);
    int ops = 0;
    while (!in.done() && ops++ < 32) {
        const uint8_t op = in.take<uint8_t>() % 12;
        switch (op) {
        case 0: c.clearCanvas(in.take<int32_t>()); break;
        case 1: c.setPixel(in.coord(), in.coord(), in.take<int32_t>()); break;
        case 2: (void)c.getPixel(in.coord(), in.coord()); break;
        case 3: { const double a = in.coord(), b = in.coord(), x = in.coord(), y = in.coord(); c.line(a, b, x, y, in.take<int32_t>()); break; }
        case 4: { const double a = in.coord(), b = in.coord(), x = in.coord(), y = in.coord(); c.box(a, b, x, y, in.take<int8_t>(), in.take<int32_t>(), in.take<int32_t>()); break; }
        case 5: { const double a = in.coord(), b = in.coord(), x = in.coord(), y = in.coord(); c.ellipse(a, b, x, y, in.take<int32_t>(), in.take<int32_t>()); break; }
        case 6: c.setPenWidth(in.take<uint8_t>() < 200 ? in.take<uint8_t>() % 40 : in.take<int32_t>()); break;
        case 7: c.setLineStyle(in.take<int8_t>()); break;
        case 8: c.setMix(in.take<int8_t>()); break;
        case 9: c.setForeColor(in.take<int32_t>()); break;
        case 10: c.setBackColor(in.take<int32_t>()); break;
        case 11: {
            const int w = in.take<uint8_t>() % 80, h = in.take<uint8_t>() % 80;
            Image img(w, h, in.take<uint32_t>());
            const double a = in.coord(), b = in.coord(), x = in.coord(), y = in.coord(), dx = in.coord(), dy = in.coord();
            c.copyImage(img, a, b, x, y, dx, dy);
            break;
        }
        }
    }
    if (!tambrel::fuzz::all24Bit(c.pixels(), Canvas::kWidth * Canvas::kHeight)) std::abort();
    return 0;
}
