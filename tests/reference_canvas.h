// SPDX-License-Identifier: MIT
#pragma once
// A deliberately plain model of the canvas's rules, for tests and fuzzing:
// each pixel is decided on its own by a direct geometric test in whole
// numbers, each dash pattern by walking the outline's pixels in order, and
// the mix is applied pixel by pixel. Slow and small; the canvas must draw
// exactly what this draws.

#include "gfx/canvas.h"

#include <cstdint>
#include <vector>

namespace tambrel::test {

class ReferenceCanvas {
public:
    static constexpr int W = Canvas::kWidth, H = Canvas::kHeight;

    void clearCanvas(int32_t colour);
    void setPixel(double x, double y, int32_t colour);
    int32_t getPixel(double x, double y) const;
    void line(double x1, double y1, double x2, double y2, int32_t colour);
    void box(double x1, double y1, double x2, double y2, int cornerPercent, int32_t outline, int32_t fill);
    void ellipse(double x1, double y1, double x2, double y2, int32_t outline, int32_t fill);
    void rings(std::span<const Canvas::RingSet> sets);
    void copyImage(const Image& image, double x1, double y1, double x2, double y2, double dx, double dy);

    void setPenWidth(int w) { m_pen = w; }
    void setLineStyle(int s) { m_style = s >= 0 && s <= 4 ? s : 0; }
    void setMix(int m) { m_mix = m >= 1 && m <= 16 ? m : 13; }
    void setForeColor(int32_t c) { m_fore = c == -1 ? 0x000000 : static_cast<uint32_t>(c) & 0xFFFFFF; }
    void setBackColor(int32_t c) { m_back = c == -1 ? 0xF0F0F0 : static_cast<uint32_t>(c) & 0xFFFFFF; }

    const uint32_t* pixels() const { return m_px.data(); }

private:
    struct Figure; // a rounded rectangle in doubled units, see the .cpp
    uint32_t colourOf(int32_t c) const { return c == -1 ? m_fore : static_cast<uint32_t>(c) & 0xFFFFFF; }
    void mixPixel(int64_t x, int64_t y, uint32_t pen);
    void shape(double x1, double y1, double x2, double y2, bool isEllipse, int cornerPercent, int32_t outline,
               int32_t fill);

    std::vector<uint32_t> m_px = std::vector<uint32_t>(static_cast<size_t>(W) * H, 0xF0F0F0);
    uint32_t m_fore = 0x000000, m_back = 0xF0F0F0;
    int m_pen = 0, m_style = 0, m_mix = 13;
};

} // namespace tambrel::test
