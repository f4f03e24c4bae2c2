// SPDX-License-Identifier: MIT
#include "reference_canvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tambrel::test {

namespace {

__extension__ typedef __int128 Big;

// A coordinate becomes a pixel: nearest whole number, halves to even (the
// default rounding of the floating-point unit), clamped to +-2^24.
bool toPixel(double v, int64_t& out)
{
    if (std::isnan(v)) return false;
    out = static_cast<int64_t>(std::clamp(std::nearbyint(v), -16777216.0, 16777216.0));
    return true;
}

// Step k of a dashed one-pixel line or outline: pen (true) or gap.
bool dashOn(int style, int64_t k)
{
    static const std::vector<int> runs[5] = {{1}, {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
    int length = 0;
    for (int r : runs[style]) length += r;
    int64_t at = k % length;
    for (size_t i = 0; i < runs[style].size(); ++i) {
        if (at < runs[style][i]) return i % 2 == 0;
        at -= runs[style][i];
    }
    return true;
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

} // namespace

void ReferenceCanvas::mixPixel(int64_t x, int64_t y, uint32_t p)
{
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    uint32_t& s = m_px[static_cast<size_t>(y * W + x)];
    uint32_t v = 0;
    switch (m_mix) {
    case 1: v = 0; break;
    case 2: v = ~(p | s); break;
    case 3: v = s & ~p; break;
    case 4: v = ~p; break;
    case 5: v = p & ~s; break;
    case 6: v = ~s; break;
    case 7: v = p ^ s; break;
    case 8: v = ~(p & s); break;
    case 9: v = p & s; break;
    case 10: v = ~(p ^ s); break;
    case 11: v = s; break;
    case 12: v = s | ~p; break;
    case 13: v = p; break;
    case 14: v = p | ~s; break;
    case 15: v = p | s; break;
    case 16: v = ~0u; break;
    }
    s = v & 0xFFFFFF;
}

void ReferenceCanvas::clearCanvas(int32_t colour)
{
    std::fill(m_px.begin(), m_px.end(), colour == -1 ? m_back : static_cast<uint32_t>(colour) & 0xFFFFFF);
}

void ReferenceCanvas::setPixel(double x, double y, int32_t colour)
{
    int64_t px, py;
    if (toPixel(x, px) && toPixel(y, py) && px >= 0 && py >= 0 && px < W && py < H)
        m_px[static_cast<size_t>(py * W + px)] = colourOf(colour);
}

int32_t ReferenceCanvas::getPixel(double x, double y) const
{
    int64_t px, py;
    if (toPixel(x, px) && toPixel(y, py) && px >= 0 && py >= 0 && px < W && py < H)
        return static_cast<int32_t>(m_px[static_cast<size_t>(py * W + px)]);
    return -1;
}

void ReferenceCanvas::line(double x1, double y1, double x2, double y2, int32_t colour)
{
    int64_t ax, ay, bx, by;
    if (!toPixel(x1, ax) || !toPixel(y1, ay) || !toPixel(x2, bx) || !toPixel(y2, by)) return;
    const uint32_t pen = colourOf(colour);
    const int64_t dx = bx - ax, dy = by - ay;
    if (m_pen >= 2) {
        // Every pixel whose centre lies within w / 2 of the segment; an even
        // pen runs half a pixel up and left of the pixel centres. In doubled
        // units the pixel is P, the segment A..B and the half-width w.
        const int64_t w = std::min(m_pen, 1 << 20), e = w % 2 == 0 ? 1 : 0;
        const Big len2 = Big(dx) * dx + Big(dy) * dy;
        auto covered = [&](int64_t i, int64_t j) {
            const int64_t px = 2 * i + e - 2 * ax, py = 2 * j + e - 2 * ay; // P - A
            const Big along = Big(px) * (2 * dx) + Big(py) * (2 * dy);
            if (along <= 0) return Big(px) * px + Big(py) * py <= Big(w) * w;
            if (along >= 4 * len2) {
                const int64_t qx = px - 2 * dx, qy = py - 2 * dy; // P - B
                return Big(qx) * qx + Big(qy) * qy <= Big(w) * w;
            }
            const Big cross = Big(px) * (2 * dy) - Big(py) * (2 * dx);
            return cross * cross <= Big(w) * w * 4 * len2;
        };
        const int64_t reach = w / 2 + 1;
        for (int64_t j = std::max<int64_t>(0, std::min(ay, by) - reach); j < H && j <= std::max(ay, by) + reach; ++j)
            for (int64_t i = std::max<int64_t>(0, std::min(ax, bx) - reach); i < W && i <= std::max(ax, bx) + reach; ++i)
                if (covered(i, j)) mixPixel(i, j, pen);
        return;
    }
    // One pixel per step along the longer axis, the start pixel included and
    // the end pixel not; at step k the other axis is at the ideal line's
    // position rounded half up: k * minor / major + 1/2, rounded down.
    const bool alongX = std::abs(dx) >= std::abs(dy);
    const int64_t major = alongX ? dx : dy, minor = alongX ? dy : dx;
    const int64_t len = std::abs(major);
    if (len == 0) return;
    const int64_t size = alongX ? W : H;
    for (int64_t m = 0; m < size; ++m) { // every position of the surface along the longer axis
        const int64_t k = major > 0 ? m - (alongX ? ax : ay) : (alongX ? ax : ay) - m;
        if (k < 0 || k >= len) continue;
        const int64_t off = floorDiv(2 * k * std::abs(minor) + len, 2 * len);
        const int64_t other = (alongX ? ay : ax) + (minor < 0 ? -off : off);
        const uint32_t c = m_style == 0 || dashOn(m_style, k) ? pen : m_back;
        if (alongX) mixPixel(m, other, c);
        else mixPixel(other, m, c);
    }
}

// A rounded rectangle in doubled units (a pixel's centre is (2i + 1, 2j + 1)):
// edges l..r, t..b, corner radii rx, ry; an ellipse has radii of half its
// size, a plain box none.
struct ReferenceCanvas::Figure {
    int64_t l, r, t, b, rx, ry;

    bool inside(int64_t i, int64_t j) const
    {
        const int64_t u = 2 * i + 1, v = 2 * j + 1;
        if (u < l || u > r || v < t || v > b) return false;
        if (rx <= 0 || ry <= 0) return true;
        // Near a corner, the point must lie inside the corner's ellipse.
        const int64_t cx = std::clamp(u, l + rx, r - rx), cy = std::clamp(v, t + ry, b - ry);
        const Big du = u - cx, dv = v - cy;
        return du * du * ry * ry + dv * dv * rx * rx <= Big(rx) * rx * ry * ry;
    }
    // Moved outwards by d (doubled units; inwards when negative): every edge
    // and, for a rounded figure, every radius.
    //
    // Where the two models once disagreed and the canvas is right: an
    // ellipse shrunk until a radius is zero has nothing inside, not even a
    // pixel centre lying exactly on what is left of it. A wide ring whose
    // hole has just closed is solid: the canvas's ring paths (and so every
    // picture of the psychedelic mode) draw it so, while the plain geometric
    // reading would punch a one-pixel hole in its middle.
    Figure grown(int64_t d, bool isEllipse) const
    {
        const bool round = isEllipse || (rx > 0 && ry > 0);
        Figure g{l - d, r + d, t - d, b + d, round ? std::max<int64_t>(0, rx + d) : 0,
                 round ? std::max<int64_t>(0, ry + d) : 0};
        if (isEllipse && (g.rx == 0 || g.ry == 0)) g.l = 1, g.r = 0; // empty
        return g;
    }
    // Row j of a convex figure is one run of columns around its middle,
    // found by halving; first > last when the row is empty.
    std::pair<int64_t, int64_t> run(int64_t j) const
    {
        const int64_t sum = (l + r) / 2 - 1; // a column and its mirror add up to this
        int64_t in = floorDiv(sum + 1, 2), out = r / 2 + 1;
        if (!inside(in, j)) return {1, 0};
        while (out - in > 1) {
            const int64_t mid = in + (out - in) / 2;
            (inside(mid, j) ? in : out) = mid;
        }
        return {sum - in, in};
    }
};

void ReferenceCanvas::box(double x1, double y1, double x2, double y2, int cornerPercent, int32_t outline,
                          int32_t fill)
{
    shape(x1, y1, x2, y2, false, cornerPercent, outline, fill);
}

void ReferenceCanvas::ellipse(double x1, double y1, double x2, double y2, int32_t outline, int32_t fill)
{
    shape(x1, y1, x2, y2, true, 0, outline, fill);
}

void ReferenceCanvas::shape(double x1, double y1, double x2, double y2, bool isEllipse, int cornerPercent,
                            int32_t outline, int32_t fill)
{
    int64_t l, t, r, b;
    if (!toPixel(x1, l) || !toPixel(y1, t) || !toPixel(x2, r) || !toPixel(y2, b)) return;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    const int64_t corner = (std::min(r - l, b - t) * std::clamp(cornerPercent, 0, 100)) / 100;
    const Figure f{2 * l, 2 * r, 2 * t, 2 * b, isEllipse ? r - l : corner, isEllipse ? b - t : corner};
    const uint32_t oc = colourOf(outline);
    const bool filled = fill != -2;
    const uint32_t fc = fill == -1 ? oc : static_cast<uint32_t>(fill) & 0xFFFFFF;
    const int64_t w = std::min(m_pen, 1 << 20);

    if (w >= 2) {
        // The band of width w centred on the outline; a pixel of the figure
        // grown by w/2 - 1/2 is outline unless it lies in the figure shrunk
        // by w/2 + 1/2 with its left and right neighbours inside the grown one.
        const Figure outer = f.grown(w - 1, isEllipse), inner = f.grown(-(w + 1), isEllipse);
        for (int64_t j = std::max<int64_t>(0, outer.t / 2 - 1); j < H && j <= outer.b / 2 + 1; ++j)
            for (int64_t i = std::max<int64_t>(0, outer.l / 2 - 1); i < W && i <= outer.r / 2 + 1; ++i) {
                if (!outer.inside(i, j)) continue;
                if (!inner.inside(i, j) || !outer.inside(i - 1, j) || !outer.inside(i + 1, j)) mixPixel(i, j, oc);
                else if (filled) mixPixel(i, j, fc);
            }
        return;
    }
    // One pixel wide: the figure's pixels with a neighbour above, below, left
    // or right outside it; the others are its interior.
    auto isOutline = [&](int64_t i, int64_t j) {
        return f.inside(i, j) && !(f.inside(i - 1, j) && f.inside(i + 1, j) && f.inside(i, j - 1) && f.inside(i, j + 1));
    };
    for (int64_t j = std::max<int64_t>(0, t); j < H && j < b; ++j)
        for (int64_t i = std::max<int64_t>(0, l); i < W && i < r; ++i) {
            if (isOutline(i, j)) {
                if (m_style == 0) mixPixel(i, j, oc);
            } else if (filled && f.inside(i, j)) {
                mixPixel(i, j, fc);
            }
        }
    if (m_style == 0) return;

    // Dashes: the pattern runs clockwise along the outline. A figure within
    // 8192 pixels of the surface and no larger is walked whole, so its dashes
    // stay put when it moves off the edge; a larger one only where it shows.
    const bool whole = r - l <= 8192 && b - t <= 8192 && l > -8192 && t > -8192 && r < W + 8192 && b < H + 8192;
    struct Step {
        int64_t x, y;
        double key;
    };
    std::vector<Step> outlinePixels;
    for (int64_t j = whole ? t : std::max<int64_t>(t, 0); j < (whole ? b : std::min<int64_t>(b, H)); ++j) {
        const auto [a, z] = f.run(j);
        for (int64_t i = whole ? a : std::max<int64_t>(a, 0); i <= (whole ? z : std::min<int64_t>(z, W - 1)); ++i) {
            if (isOutline(i, j)) {
                outlinePixels.push_back({i, j, 0});
            } else { // inner pixels: skip to the last one, where a run above or below ends
                i = std::min({f.run(j - 1).second, f.run(j + 1).second, z - 1});
            }
        }
    }
    const bool isBox = !isEllipse && corner == 0;
    for (Step& s : outlinePixels) {
        if (isBox) { // distance along the edges from the top-left corner
            const double wide = static_cast<double>(r - 1 - l), high = static_cast<double>(b - 1 - t);
            if (s.y == t) s.key = static_cast<double>(s.x - l);
            else if (s.x == r - 1) s.key = wide + static_cast<double>(s.y - t);
            else if (s.y == b - 1) s.key = wide + high + static_cast<double>(r - 1 - s.x);
            else s.key = 2 * wide + high + static_cast<double>(b - 1 - s.y);
        } else { // the angle around the centre, from straight right
            const double a = std::atan2(static_cast<double>(s.y) - ((t + b) / 2.0 - 0.5),
                                        static_cast<double>(s.x) - ((l + r) / 2.0 - 0.5));
            s.key = a < 0 ? a + 2 * std::numbers::pi : a;
        }
    }
    std::stable_sort(outlinePixels.begin(), outlinePixels.end(), [](const Step& p, const Step& q) { return p.key < q.key; });
    for (size_t k = 0; k < outlinePixels.size(); ++k)
        mixPixel(outlinePixels[k].x, outlinePixels[k].y, dashOn(m_style, static_cast<int64_t>(k)) ? oc : m_back);
}

void ReferenceCanvas::rings(std::span<const Canvas::RingSet> sets)
{
    for (const Canvas::RingSet& set : sets) {
        m_pen = set.penWidth;
        for (int k = 0; k < set.count; ++k) {
            const double radius = set.firstRadius + k * set.spacing;
            ellipse(set.cx - radius, set.cy - radius, set.cx + radius, set.cy + radius, set.colour, -2);
        }
    }
}

void ReferenceCanvas::copyImage(const Image& image, double x1, double y1, double x2, double y2, double dx, double dy)
{
    int64_t sx0, sy0, sx1, sy1, tx, ty;
    if (!toPixel(x1, sx0) || !toPixel(y1, sy0) || !toPixel(x2, sx1) || !toPixel(y2, sy1) || !toPixel(dx, tx) ||
        !toPixel(dy, ty))
        return;
    // The image's rows are as many as its pixels fill, at most its height.
    const int64_t rows = image.width > 0 ? std::min<int64_t>(static_cast<int64_t>(image.pixels.size()) / image.width,
                                                             image.height)
                                         : 0;
    for (int64_t y = 0; y < H; ++y)
        for (int64_t x = 0; x < W; ++x) {
            const int64_t sx = sx0 + x - tx, sy = sy0 + y - ty;
            if (sx < sx0 || sx > sx1 || sy < sy0 || sy > sy1 || sx < 0 || sy < 0 || sx >= image.width || sy >= rows)
                continue;
            m_px[static_cast<size_t>(y * W + x)] = image.pixels[static_cast<size_t>(sy * image.width + sx)] & 0xFFFFFF;
        }
}

} // namespace tambrel::test
