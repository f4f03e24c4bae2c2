// SPDX-License-Identifier: MIT
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
    const int m = s.psycheCount;
    if (m > 1) {
        s.psycheSources[static_cast<size_t>(m - 1)].x = mouseX;
        s.psycheSources[static_cast<size_t>(m - 1)].y = mouseY;
    }
    // Every centre's rings go to the canvas in one call: under exclusive-or
    // their order does not matter, so it writes each row once for all of them.
    m_rings.clear();
    for (int i = 0; i < m; ++i) {
        RingSource& src = s.psycheSources[static_cast<size_t>(i)];
        src.phase += 1;
        // The phase range equals the ring spacing, so the wrap shows no jump.
        if (src.phase > src.width) src.phase -= 2 * src.width;
        const double step = roundEven(2 * src.width);
        // Radii j + phase for j = 1, 1 + step, ... up to kOuterRing.
        const int count = step > 0 ? static_cast<int>((kOuterRing - 1) / step) + 1 : 0;
        m_rings.push_back({src.x, src.y, roundToInt(src.width), 1 + src.phase, step, count,
                           s.psycheColours[static_cast<size_t>(i)]});
    }
    c.setMix(static_cast<int>(Mix::Xor));
    c.rings(m_rings, kBackground); // on a cleared surface, in one writing of every row
    c.setMix(static_cast<int>(Mix::CopyPen));
}

} // namespace tambrel
