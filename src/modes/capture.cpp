#include "modes/capture.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <vector>

namespace tambrel {

namespace {
constexpr int kFirstWaitMs = 50;
constexpr int kSnapshotWaitMs = 500;
constexpr int kSmearsPerFrame = 20; // rows, and as many columns
constexpr int kScatterReach = 3;    // pixels either way

int average(uint32_t s, uint32_t t, int shift)
{
    const int a = static_cast<int>((s >> shift) & 0xFF), b = static_cast<int>((t >> shift) & 0xFF);
    return roundToInt((a + b) / 2.0);
}
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

void CaptureMode::reloadBuffer()
{
    const Canvas& c = canvas();
    PixelBuffer& buf = pixelBuffer();
    for (int x = 0; x < 600; ++x)
        for (int y = 0; y < 512; ++y) buf.at(x, y) = c.getPixel(x, y);
}

// Blends source into the target cell, channel by channel, halves to even.
void CaptureMode::blend(int tx, int ty, int32_t source)
{
    PixelBuffer& buf = pixelBuffer();
    const uint32_t s = static_cast<uint32_t>(source), t = static_cast<uint32_t>(buf.at(tx, ty));
    const int32_t v = rgb(average(s, t, 0), average(s, t, 8), average(s, t, 16));
    buf.at(tx, ty) = v;
    canvas().setPixel(tx, ty, v);
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
    // Every pixel takes its colour from the picture as it was before the click.
    for (int x = 3; x <= 596; ++x) {
        for (int y = 3; y <= 508; ++y) {
            const int dy = floorToInt(7 * rnd()) - kScatterReach;
            const int dx = floorToInt(7 * rnd()) - kScatterReach;
            c.setPixel(x, y, buf.at(x + dx, y + dy)); // -1 paints the foreground colour
        }
    }
    platform().redraw();
    reloadBuffer();
    isOn = true;
}

} // namespace tambrel
