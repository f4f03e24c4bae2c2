// SPDX-License-Identifier: MIT
#pragma once
// The drawing surface every picture of the program goes through.
//
// Conventions, once for the whole canvas:
// - The surface is 596 x 508 pixels (the interior of the 600 x 512 canvas
//   control). Pixel (0, 0) is top-left, x grows right, y grows down.
// - Coordinates are doubles. Each becomes a pixel by rounding half to even
//   (2.5 -> 2, 3.5 -> 4, -0.5 -> 0). NaN draws nothing; far-away values are
//   clamped before conversion, so a figure is clipped as if drawn where it
//   lies. Everything outside the surface is clipped silently.
// - Rectangles are half-open: a box or ellipse with corners (l, t), (r, b),
//   in any order, covers columns l..r-1 and rows t..b-1. A one-pixel line
//   draws its start pixel and not its end pixel.
// - Colours are 0x00BBGGRR (red in the low byte). As an argument, -1 means
//   the foreground colour; as a fill, -1 means the outline colour and -2
//   means no fill. getPixel returns -1 outside the surface.
// - Lines and shapes combine with the surface through the mix (the sixteen
//   binary raster operations); every pixel of a fill and of an outline is
//   combined exactly once, so a figure drawn twice with Mix::Xor restores
//   the surface. clearCanvas, setPixel and copyImage ignore the mix.
// - Dash styles apply to pens of width 0 or 1; their gaps are painted in the
//   background colour (through the mix as well). Wider pens draw solid.
//
// The canvas has no lock: callers hold the program's state lock.

#include "gfx/image.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tambrel {

enum class LineStyle { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4 };

// The binary raster operations, P = pen colour, S = surface colour.
enum class Mix {
    Black = 1,       // 0
    NotMergePen,     // ~(P | S)
    MaskNotPen,      // S & ~P
    NotCopyPen,      // ~P
    MaskPenNot,      // P & ~S
    Not,             // ~S
    Xor,             // P ^ S
    NotMaskPen,      // ~(P & S)
    MaskPen,         // P & S
    NotXorPen,       // ~(P ^ S)
    Nop,             // S
    MergeNotPen,     // S | ~P
    CopyPen,         // P (the default)
    MergePenNot,     // P | ~S
    MergePen,        // P | S
    White,           // all ones
};

constexpr int32_t kForeColour = -1; // colour argument: the foreground colour
constexpr int32_t kOutlineColour = -1; // fill argument: same as the outline
constexpr int32_t kNoFill = -2;     // fill argument: outline only
constexpr uint32_t kWindowTextColour = 0x000000;
constexpr uint32_t kButtonFaceColour = 0xF0F0F0;

class Canvas {
public:
    static constexpr int kWidth = 596;
    static constexpr int kHeight = 508;

    Canvas();

    void clearCanvas(int32_t colour);
    void setPixel(double x, double y, int32_t colour);
    int32_t getPixel(double x, double y) const;
    // setPixel at a whole-number position, inline for the loops that write
    // hundreds of thousands of pixels one by one.
    void setPixel(int x, int y, int32_t colour)
    {
        if (static_cast<unsigned>(x) < kWidth && static_cast<unsigned>(y) < kHeight) at(x, y) = resolve(colour);
    }
    void line(double x1, double y1, double x2, double y2, int32_t colour);
    void box(double x1, double y1, double x2, double y2, int cornerPercent, int32_t outline, int32_t fill);
    void ellipse(double x1, double y1, double x2, double y2, int32_t outline, int32_t fill);
    // The circle of radius r around (cx, cy): the ellipse in the box from
    // (cx - r, cy - r) to (cx + r, cy + r). A negative r swaps the corners.
    void circle(double cx, double cy, double r, int32_t outline, int32_t fill)
    {
        ellipse(cx - r, cy - r, cx + r, cy + r, outline, fill);
    }
    // Many circle outlines in one call: set by set, the same pixels as
    // setPenWidth(penWidth) and then circle(cx, cy, r, colour, kNoFill) for
    // r = firstRadius + k * spacing, k = 0..count-1; the pen width is left at
    // the last set's. Under the exclusive-or mixes, where the order of the
    // figures does not matter, every row is written once for all the rings.
    // With a `background` colour the surface is cleared to it first, as
    // clearCanvas(background) would, in that same writing of the rows.
    struct RingSet {
        double cx = 0, cy = 0;
        int penWidth = 0;
        double firstRadius = 0, spacing = 0;
        int count = 0;
        int32_t colour = kForeColour;
    };
    void rings(std::span<const RingSet> sets, std::optional<int32_t> background = std::nullopt);
    // The widest vectors, in bits (128, 256 or 512), that rings() works
    // with: the processor's widest by default (checked at run time),
    // narrower ones to test them against each other. The pixels are the
    // same at every width.
    static int widestVectorBits();
    void limitVectorBits(int bits) { m_vectorBits = std::min(bits, widestVectorBits()); }
    void copyImage(const Image& image, double x1, double y1, double x2, double y2, double dx, double dy);

    void setPenWidth(int w) { m_penWidth = w; }
    void setLineStyle(int s);
    void setMix(int m);
    void setForeColor(int32_t c);
    void setBackColor(int32_t c);

    int penWidth() const { return m_penWidth; }
    LineStyle lineStyle() const { return m_lineStyle; }
    Mix mix() const { return m_mix; }
    uint32_t foreColour() const { return m_foreColour; }
    uint32_t backColour() const { return m_backColour; }

    // Direct access for the paint handler and the tools: kWidth * kHeight
    // pixels, row-major, 0x00BBGGRR.
    const uint32_t* pixels() const { return m_pixels.data(); }

    // Unchecked pixel access for loops that clip themselves.
    uint32_t& at(int x, int y) { return m_pixels[static_cast<std::size_t>(y) * kWidth + x]; }
    uint32_t at(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * kWidth + x]; }

    // Columns a..b of a row, inclusive; empty when a > b.
    struct Span {
        int a = 0, b = -1;
        bool empty() const { return a > b; }
    };

private:
    struct Shape;   // rounded rectangle in pixel-centre space, see canvas.cpp
    // One wide circle outline, in whole half-pixel units so that its rows
    // come from integer arithmetic: a pixel (i, j) lies inside a circle of
    // doubled radius R when (2i + 1 - sumX)^2 + (2j + 1 - sumY)^2 <= R^2.
    struct RingRows {
        int32_t sumX, sumY;     // twice the centre
        int32_t outer2, inner2; // squared doubled radii; inner2 < 0: no hole
        int32_t rowFrom, rowTo; // the rows where it can show
        uint32_t xorWith;
    };

    uint32_t resolve(int32_t colour) const
    {
        return colour == kForeColour ? m_foreColour : static_cast<uint32_t>(colour) & 0xFFFFFF;
    }
    void fillSpan(int64_t y, int x0, int x1, uint32_t colour); // inclusive, clips
    void plot(int x, int y, uint32_t colour);               // clips, mixes
    void fillRows(int64_t j, int64_t mirror, Span outline, Span interior, uint32_t outlineColour,
                  const uint32_t* fill);
    void thinLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t colour);
    void wideLine(double x1, double y1, double x2, double y2, uint32_t colour);
    void wideEllipse(const Shape& outer, const Shape& inner, uint32_t outline, bool filled, uint32_t fill);
    void drawShape(double x1, double y1, double x2, double y2, double cornerRx, double cornerRy,
                   bool isEllipse, int32_t outline, int32_t fill);

    bool addRingRows(double cx, double cy, double r, uint32_t xorWith);
    void ringSweep(std::optional<int32_t> background);

    std::vector<uint32_t> m_pixels;
    // Scratch of rings(), kept from call to call: every ring by its first
    // row, and the rings of the row under way as a structure of arrays, so
    // that their ends are worked out on vectors.
    std::vector<RingRows> m_ringRows;
    struct ActiveRings {
        std::vector<int32_t> sumX, sumY, outer2, inner2, rowTo, outerEnd, holeEnd;
        std::vector<uint32_t> xorWith;
        std::vector<int32_t> markColumns; // a row's marks, packed (with the widest vectors)
        std::vector<uint32_t> markColours;
    } m_active;
    // A dashed outline's walk: its pixels in order along the outline, and the
    // interior's rows, for a shape of one size.
    struct DashedWalk {
        struct Size {
            double width = -1, height = -1, rx = 0, ry = 0;
            bool isEllipse = false;
            bool operator==(const Size&) const = default;
        } size;
        struct Pixel {
            int x, y;
            double key;
        };
        struct Row {
            int y, a, b;
        };
        std::vector<Pixel> outline;
        std::vector<Row> interiors;
    };
    void walkDashed(const Shape& shape, double dx, double dy, bool whole, DashedWalk& walk);
    std::array<DashedWalk, 8> m_walks; // the last sizes walked whole
    size_t m_nextWalk = 0;
    DashedWalk m_hugeWalk; // scratch
    int m_vectorBits = widestVectorBits();
    uint32_t m_foreColour = kWindowTextColour;
    uint32_t m_backColour = kButtonFaceColour;
    int m_penWidth = 0;
    LineStyle m_lineStyle = LineStyle::Solid;
    Mix m_mix = Mix::CopyPen;
};

} // namespace tambrel
