#include "modes/psyche.h"

#include "gfx/numeric.h"

namespace tambrel {

namespace {
constexpr int kRebuildPauseMs = 100;
constexpr double kOuterRing = 900; // rings run out to this radius
constexpr int32_t kBackground = 0xFFFFFF;
} // namespace

void PsycheMode::initState() { isOn = false; }

void PsycheMode::onCanvasClick(int /*x*/, int /*y*/)
{
    isOn = false;
    platform().sleepMs(kRebuildPauseMs);
    s.psycheCount = roundToInt(2 + 2 * rnd());
    s.psycheSources.assign(static_cast<size_t>(s.psycheCount), RingSource{});
    s.psycheColours.assign(static_cast<size_t>(s.psycheCount), 0);
    const int w = 8 + floorToInt(15 * rnd());
    const int32_t colour = roundToInt(16777215 * rnd());
    for (int i = 0; i < s.psycheCount; ++i) {
        RingSource& src = s.psycheSources[static_cast<size_t>(i)];
        src.x = 600 * rnd();
        src.y = 512 * rnd();
        src.width = w;
        src.phase = floorToInt(w * rnd()) - w / 2;
        s.psycheColours[static_cast<size_t>(i)] = colour;
    }
    isOn = true;
}

void PsycheMode::stepFrame(int mouseX, int mouseY)
{
    Canvas& c = canvas();
    c.clearCanvas(kBackground);
    const int m = s.psycheCount;
    if (m > 1) {
        s.psycheSources[static_cast<size_t>(m - 1)].x = mouseX;
        s.psycheSources[static_cast<size_t>(m - 1)].y = mouseY;
    }
    for (int i = 0; i < m; ++i) {
        RingSource& src = s.psycheSources[static_cast<size_t>(i)];
        c.setPenWidth(roundToInt(src.width));
        c.setMix(static_cast<int>(Mix::Xor));
        src.phase += 1;
        // The phase range equals the ring spacing, so the wrap shows no jump.
        if (src.phase > src.width) src.phase -= 2 * src.width;
        const double step = roundEven(2 * src.width);
        if (!(step > 0)) continue;
        for (double j = 1; j <= kOuterRing; j += step) {
            const double r = j + src.phase;
            c.circle(src.x, src.y, r, s.psycheColours[static_cast<size_t>(i)], kNoFill);
        }
    }
    c.setMix(static_cast<int>(Mix::CopyPen));
}

} // namespace tambrel
