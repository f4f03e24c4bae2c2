// SPDX-License-Identifier: MIT
#include "modes/capture.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"


namespace tambrel {

namespace {
constexpr int kFirstWaitMs = 50;
constexpr int kSnapshotWaitMs = 500;
constexpr int kSmearsPerFrame = 20; // rows, and as many columns
constexpr int kScatterReach = 3;    // pixels either way

} // namespace

void CaptureMode::initState()
{
    isOn = false;
    pixelBuffer().create();
}

void CaptureMode::start()
{
    Canvas& c = canvas();
    Platform& p = platform();
    c.clearCanvas(0);
    p.clearClipboard();
    p.doEvents(kFirstWaitMs);
    p.pressPrintScreen();
    p.doEvents(kSnapshotWaitMs);
    Image image;
    if (!p.getClipboardImage(image)) return; // the mode still switches on, black
    c.copyImage(image, 0, 0, 599, 511, 0, 0);
    p.redraw();
    reloadBuffer();
}

// pixelBuffer := the canvas, cell by cell as getPixel reads it: -1 beyond the
// surface. Column by column, as the buffer is laid out.
void CaptureMode::reloadBuffer()
{
    const Canvas& c = canvas();
    PixelBuffer& buf = pixelBuffer();
    for (int x = 0; x < 600; ++x) {
        int32_t* column = &buf.at(x, 0);
        for (int y = 0; y < 512; ++y)
            column[y] = x < Canvas::kWidth && y < Canvas::kHeight ? static_cast<int32_t>(c.at(x, y)) : -1;
    }
}

// Blends source into the target cell, channel by channel, halves to even,
// and paints the result.
void CaptureMode::blend(int tx, int ty, int32_t source)
{
    int32_t& cell = pixelBuffer().at(tx, ty);
    const uint32_t s = static_cast<uint32_t>(source), t = static_cast<uint32_t>(cell);
    // (a + b) / 2 with a half going to the even neighbour, per 8-bit channel.
    auto average = [&](int shift) {
        const uint32_t sum = ((s >> shift) & 0xFF) + ((t >> shift) & 0xFF), low = sum >> 1;
        return static_cast<int32_t>(low + (sum & low & 1));
    };
    cell = average(0) | average(8) << 8 | average(16) << 16; // each 0..255: rgb() would change nothing
    canvas().setPixel(tx, ty, cell);
}

void CaptureMode::stepFrame(int /*mouseX*/, int /*mouseY*/)
{
    PixelBuffer& buf = pixelBuffer();
    for (int n = 0; n < kSmearsPerFrame; ++n) {
        const double y = 1 + 510 * rnd();
        const int sy = roundToInt(y), ty = roundToInt(y + 1);
        // The source row is not its own target, so it is read as it was.
        for (int x = 0; x <= 599; ++x) blend(x, ty, buf.at(x, sy));
    }
    for (int n = 0; n < kSmearsPerFrame; ++n) {
        const double x = 1 + 598 * rnd();
        const int sx = roundToInt(x), tx = roundToInt(x + 1);
        for (int y = 0; y <= 511; ++y) blend(tx, y, buf.at(sx, y));
    }
}

void CaptureMode::onCanvasClick(int /*x*/, int /*y*/)
{
    isOn = false;
    Canvas& c = canvas();
    const PixelBuffer& buf = pixelBuffer();
    // Every pixel takes its colour from the picture as it was before the
    // click. Both offsets are drawn for every position, also for the last
    // column and row, which lie beyond the surface.
    for (int x = 3; x <= 596; ++x) {
        for (int y = 3; y <= 508; ++y) {
            const int dy = static_cast<int>(7 * rnd()) - kScatterReach; // rounded down: 7 x rnd is never negative
            const int dx = static_cast<int>(7 * rnd()) - kScatterReach;
            c.setPixel(x, y, buf.at(x + dx, y + dy)); // -1 paints the foreground colour
        }
    }
    platform().redraw();
    reloadBuffer();
    isOn = true;
}

} // namespace tambrel
