// SPDX-License-Identifier: MIT
#include "gfx/canvas.h"

#include "gfx/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tambrel {

namespace {

constexpr int W = Canvas::kWidth;
constexpr int H = Canvas::kHeight;
constexpr uint32_t kRgbMask = 0xFFFFFF;

// Coordinates beyond this are clamped before they become pixels. Far beyond
// anything a mode draws, and small enough that every figure's pixels come
// from exact whole-number tests: squared distances in doubled units stay
// below 2^110.
constexpr double kFar = 16777216.0; // 2^24

// Double-to-pixel conversion: half to even, clamped; false for NaN.
bool toPixel(double v, double& out)
{
    if (std::isnan(v)) return false;
    out = std::clamp(roundEven(v), -kFar, kFar);
    return true;
}

int clampToInt(double v, int lo, int hi)
{
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return static_cast<int>(v);
}

__extension__ typedef __int128 Wide; // exact products of squared distances

// Division rounded down and up, for any divisor but 0.
template <typename T>
T floorDiv(T a, std::type_identity_t<T> b)
{
    if (b < 0) a = -a, b = -b;
    const T q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}
template <typename T>
T ceilDiv(T a, std::type_identity_t<T> b) { return -floorDiv(-a, b); }

// floor(sqrt(v)) for 0 <= v < 2^100: the double root, then corrected.
int64_t isqrt(Wide v)
{
    auto r = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (static_cast<Wide>(r) * r > v) --r;
    while (static_cast<Wide>(r + 1) * (r + 1) <= v) ++r;
    return r;
}

template <Mix M>
inline uint32_t combine(uint32_t s, uint32_t p)
{
    if constexpr (M == Mix::Black) return 0;
    else if constexpr (M == Mix::NotMergePen) return ~(p | s);
    else if constexpr (M == Mix::MaskNotPen) return s & ~p;
    else if constexpr (M == Mix::NotCopyPen) return ~p;
    else if constexpr (M == Mix::MaskPenNot) return p & ~s;
    else if constexpr (M == Mix::Not) return ~s;
    else if constexpr (M == Mix::Xor) return p ^ s;
    else if constexpr (M == Mix::NotMaskPen) return ~(p & s);
    else if constexpr (M == Mix::MaskPen) return p & s;
    else if constexpr (M == Mix::NotXorPen) return ~(p ^ s);
    else if constexpr (M == Mix::Nop) return s;
    else if constexpr (M == Mix::MergeNotPen) return s | ~p;
    else if constexpr (M == Mix::CopyPen) return p;
    else if constexpr (M == Mix::MergePenNot) return p | ~s;
    else if constexpr (M == Mix::MergePen) return p | s;
    else return 0xFFFFFFFFu;
}

template <Mix M>
void mixRun(uint32_t* d, int n, uint32_t p)
{
    for (int i = 0; i < n; ++i) d[i] = combine<M>(d[i], p) & kRgbMask;
}

// Writes n pixels from d through the mix; callers clip.
void mixSpan(Mix m, uint32_t* d, int n, uint32_t p)
{
    switch (m) {
    case Mix::Black: mixRun<Mix::Black>(d, n, p); break;
    case Mix::NotMergePen: mixRun<Mix::NotMergePen>(d, n, p); break;
    case Mix::MaskNotPen: mixRun<Mix::MaskNotPen>(d, n, p); break;
    case Mix::NotCopyPen: mixRun<Mix::NotCopyPen>(d, n, p); break;
    case Mix::MaskPenNot: mixRun<Mix::MaskPenNot>(d, n, p); break;
    case Mix::Not: mixRun<Mix::Not>(d, n, p); break;
    case Mix::Xor: mixRun<Mix::Xor>(d, n, p); break;
    case Mix::NotMaskPen: mixRun<Mix::NotMaskPen>(d, n, p); break;
    case Mix::MaskPen: mixRun<Mix::MaskPen>(d, n, p); break;
    case Mix::NotXorPen: mixRun<Mix::NotXorPen>(d, n, p); break;
    case Mix::Nop: break;
    case Mix::MergeNotPen: mixRun<Mix::MergeNotPen>(d, n, p); break;
    case Mix::CopyPen: std::fill(d, d + n, p); break;
    case Mix::MergePenNot: mixRun<Mix::MergePenNot>(d, n, p); break;
    case Mix::MergePen: mixRun<Mix::MergePen>(d, n, p); break;
    case Mix::White: std::fill(d, d + n, kRgbMask); break;
    }
}

// Cosmetic dash patterns in pixels, on/off runs starting with "on".
struct Pattern {
    std::array<bool, 24> on{};
    int length = 1;
};

constexpr Pattern makePattern(std::initializer_list<int> runs)
{
    Pattern p;
    int n = 0;
    bool on = true;
    for (int run : runs) {
        for (int i = 0; i < run; ++i) p.on[n++] = on;
        on = !on;
    }
    p.length = n;
    return p;
}

const std::array<Pattern, 5> kPatterns = {
    makePattern({1}),                    // solid (unused)
    makePattern({18, 6}),                // dash
    makePattern({3, 3}),                 // dot
    makePattern({9, 6, 3, 6}),           // dash-dot
    makePattern({9, 3, 3, 3, 3, 3}),     // dash-dot-dot
};

} // namespace

using Span = Canvas::Span;

namespace {
Span intersect(Span s, Span t) { return {std::max(s.a, t.a), std::min(s.b, t.b)}; }

// Where (dx, dy) points, clockwise on the surface from straight right, as a
// number in [0, 4) that grows with the angle: the order of the angles
// without their arctangents, the dearest part of a dashed outline. For a
// shape walked whole the offsets are halves within 4097 pixels, so every
// quotient is a small fraction correctly rounded: two directions differ by
// far more than the rounding, and one direction always gives one number.
double turn(double dx, double dy)
{
    if (dx == 0 && dy == 0) return 0;
    if (dy >= 0) return dx >= 0 ? dy / (dx + dy) : 1 - dx / (dy - dx);
    return dx < 0 ? 2 - dy / (-dx - dy) : 3 + dx / (dx - dy);
}
} // namespace

// A rounded rectangle in edge space: x0..x1, y0..y1 are the edges, rx, ry the
// corner radii (an ellipse when they are half the size), all multiples of a
// half. Pixel (i, j) belongs to it when its centre (i + 0.5, j + 0.5) lies
// inside, boundary included; contains() decides that exactly in doubled
// units, the rows' square roots only give a first guess.
struct Canvas::Shape {
    double x0, x1, y0, y1, rx, ry;
    bool isEllipse; // corner radii are always half the size
    // Derived once, so that a row costs one square root and no division.
    double cornerTop = 0, cornerBottom = 0, invRy = 0;
    bool rounded = false;
    int64_t X0 = 0, X1 = 0, Y0 = 0, Y1 = 0, RX = 0, RY = 0; // doubled
    // Within 8192 pixels of the origin every product below fits 64 bits,
    // which is several times cheaper than 128.
    bool near = false;

    static Shape make(double x0, double x1, double y0, double y1, double rx, double ry, bool isEllipse)
    {
        Shape s{x0, x1, y0, y1, rx, ry, isEllipse};
        s.rounded = rx > 0 && ry > 0;
        if (s.rounded) s.cornerTop = y0 + ry, s.cornerBottom = y1 - ry, s.invRy = 1 / ry;
        auto doubled = [](double v) { return static_cast<int64_t>(2 * v); };
        s.X0 = doubled(x0), s.X1 = doubled(x1), s.Y0 = doubled(y0), s.Y1 = doubled(y1);
        s.RX = s.rounded ? doubled(rx) : 0, s.RY = s.rounded ? doubled(ry) : 0;
        constexpr int64_t kNear = 1 << 14;
        s.near = std::max({std::abs(s.X0), std::abs(s.X1), std::abs(s.Y0), std::abs(s.Y1)}) <= kNear;
        return s;
    }

    bool contains(int64_t i, int64_t j) const
    {
        const int64_t u = 2 * i + 1, v = 2 * j + 1;
        if (u < X0 || u > X1 || v < Y0 || v > Y1) return false;
        if (!rounded) return true;
        // Distance from the nearest point of the rectangle between the
        // corner centres, measured against the corner ellipse.
        const int64_t du = u - std::clamp(u, X0 + RX, X1 - RX), dv = v - std::clamp(v, Y0 + RY, Y1 - RY);
        if (near) return du * du * RY * RY + dv * dv * RX * RX <= RX * RX * RY * RY;
        const Wide rx2 = static_cast<Wide>(RX) * RX, ry2 = static_cast<Wide>(RY) * RY;
        return static_cast<Wide>(du) * du * ry2 + static_cast<Wide>(dv) * dv * rx2 <= rx2 * ry2;
    }

    // The last column of row j inside the shape, from a guess near it; the
    // shape's rows are symmetric about the column sum x0 + x1 - 1, so the
    // first column is that sum minus the last. A row that holds no pixel
    // gets a column left of its middle, so that its first comes after it.
    int64_t lastColumn(int64_t j, int64_t guess) const
    {
        const int64_t sum = (X0 + X1) / 2 - 1;
        if (contains(guess, j)) {
            for (int n = 0; n < 8 && contains(guess + 1, j); ++n) ++guess;
            return guess;
        }
        for (int n = 0; n < 8 && 2 * guess >= sum; ++n)
            if (contains(--guess, j)) return guess;
        return std::min(guess, floorDiv(sum, 2) - 1);
    }

    // The shape moved outwards by d on every side (inwards for d < 0).
    Shape grown(double d) const
    {
        double grx = 0, gry = 0;
        if (isEllipse) {
            grx = std::max(0.0, (x1 - x0) / 2 + d);
            gry = std::max(0.0, (y1 - y0) / 2 + d);
        } else if (rounded) {
            grx = std::max(0.0, rx + d);
            gry = std::max(0.0, ry + d);
        }
        return make(x0 - d, x1 + d, y0 - d, y1 + d, grx, gry, isEllipse);
    }

    bool empty() const { return !(x0 <= x1 && y0 <= y1); }

    // The shape is symmetric about its middle row: calls visit(j, mirror) for
    // every row j of its top half (middle included) such that j or its mirror
    // row, whose spans are the same, lies on the surface. Callers clip rows.
    // jFrom..jTo narrows the top-half rows further.
    template <typename Visit>
    void forRowPairs(Visit visit, int64_t jFrom = INT64_MIN, int64_t jTo = INT64_MAX) const
    {
        if (empty()) return;
        const int64_t first = ceilDiv(Y0 - 1, 2), bottom = floorDiv(Y1 - 1, 2);
        const int64_t top = std::max(first, jFrom);
        if (top > bottom) return;
        const int64_t sum = first + bottom;
        const int64_t mid = std::min(floorDiv(sum, 2), jTo);
        // Rows visible themselves, and rows whose mirrors are visible.
        int64_t a0 = std::max<int64_t>(top, 0), a1 = std::min<int64_t>(mid, H - 1);
        int64_t b0 = std::max<int64_t>(top, sum - (H - 1)), b1 = std::min<int64_t>(mid, sum);
        if (a0 > a1) a0 = b0, a1 = b1;
        if (b0 > b1) b0 = a0, b1 = a1;
        if (a0 > b0) std::swap(a0, b0), std::swap(a1, b1);
        auto run = [&](int64_t from, int64_t to) {
            for (int64_t j = from; j <= to; ++j) visit(j, sum - j);
        };
        if (a0 > a1) return;
        if (b0 <= a1 + 1) {
            run(a0, std::max(a1, b1));
        } else {
            run(a0, a1);
            run(b0, b1);
        }
    }

    // Pixel columns of row j, clamped to [lo, hi] (which lie outside the
    // surface, so clamping never changes what is drawn).
    Span row(int64_t j, int lo = -2, int hi = W + 1) const
    {
        if (2 * j + 1 < Y0 || 2 * j + 1 > Y1) return {};
        const double yc = static_cast<double>(j) + 0.5;
        double inset = 0;
        if (rounded) {
            const double t = yc < cornerTop ? (cornerTop - yc) * invRy : yc > cornerBottom ? (yc - cornerBottom) * invRy : 0;
            if (t > 0) inset = rx * (1 - std::sqrt(std::max(0.0, 1 - t * t)));
        }
        const int64_t b = lastColumn(j, static_cast<int64_t>(std::floor(x1 - inset - 0.5)));
        const int64_t a = (X0 + X1) / 2 - 1 - b;
        if (a > b) return {};
        return {static_cast<int>(std::clamp<int64_t>(a, lo, hi)), static_cast<int>(std::clamp<int64_t>(b, lo, hi))};
    }

    // Its rows clamped to [lo, hi], the last few kept: each is needed three
    // times, as itself and as the neighbour of the rows above and below.
    class Rows {
    public:
        Rows(const Shape& shape, int lo, int hi) : m_shape(shape), m_lo(lo), m_hi(hi) {}
        Span operator[](int64_t j)
        {
            Kept& k = m_kept[j & 3];
            if (k.j != j) k = {j, m_shape.row(j, m_lo, m_hi)};
            return k.s;
        }
        // Interior of row j: the columns whose neighbours above, below, left
        // and right all belong to the shape.
        Span interior(int64_t j, Span s) { return intersect(intersect((*this)[j - 1], (*this)[j + 1]), {s.a + 1, s.b - 1}); }

    private:
        struct Kept {
            int64_t j = INT64_MIN;
            Span s;
        };
        const Shape& m_shape;
        int m_lo, m_hi;
        Kept m_kept[4];
    };
};

Canvas::Canvas() : m_pixels(static_cast<size_t>(W) * H, kButtonFaceColour) {}

void Canvas::setLineStyle(int s) { m_lineStyle = (s >= 0 && s <= 4) ? static_cast<LineStyle>(s) : LineStyle::Solid; }

void Canvas::setMix(int m) { m_mix = (m >= 1 && m <= 16) ? static_cast<Mix>(m) : Mix::CopyPen; }

void Canvas::setForeColor(int32_t c)
{
    m_foreColour = c == -1 ? kWindowTextColour : static_cast<uint32_t>(c) & kRgbMask;
}

void Canvas::setBackColor(int32_t c)
{
    m_backColour = c == -1 ? kButtonFaceColour : static_cast<uint32_t>(c) & kRgbMask;
}

void Canvas::clearCanvas(int32_t colour)
{
    std::fill(m_pixels.begin(), m_pixels.end(), colour == -1 ? m_backColour : static_cast<uint32_t>(colour) & kRgbMask);
}

void Canvas::setPixel(double x, double y, int32_t colour)
{
    double px, py;
    if (!toPixel(x, px) || !toPixel(y, py)) return;
    if (px < 0 || py < 0 || px >= W || py >= H) return;
    at(static_cast<int>(px), static_cast<int>(py)) = resolve(colour);
}

int32_t Canvas::getPixel(double x, double y) const
{
    double px, py;
    if (!toPixel(x, px) || !toPixel(y, py)) return -1;
    if (px < 0 || py < 0 || px >= W || py >= H) return -1;
    return static_cast<int32_t>(at(static_cast<int>(px), static_cast<int>(py)));
}

void Canvas::fillSpan(int64_t y, int x0, int x1, uint32_t colour)
{
    if (y < 0 || y >= H) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, W - 1);
    if (x0 > x1) return;
    mixSpan(m_mix, &at(x0, static_cast<int>(y)), x1 - x0 + 1, colour);
}

// Row j and its mirror row: the outline's columns around the interior, then
// the interior itself when there is a fill colour.
void Canvas::fillRows(int64_t j, int64_t mirror, Span outline, Span interior, uint32_t oc, const uint32_t* fill)
{
    for (int64_t y : {j, mirror}) {
        if (y < 0 || y >= H) {
            if (mirror == j) break;
            continue;
        }
        if (interior.empty()) {
            fillSpan(y, outline.a, outline.b, oc);
        } else {
            fillSpan(y, outline.a, interior.a - 1, oc);
            fillSpan(y, interior.b + 1, outline.b, oc);
            if (fill) fillSpan(y, interior.a, interior.b, *fill);
        }
        if (mirror == j) break;
    }
}

void Canvas::plot(int x, int y, uint32_t colour)
{
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    if (m_mix == Mix::CopyPen) at(x, y) = colour;
    else mixSpan(m_mix, &at(x, y), 1, colour);
}

void Canvas::line(double x1, double y1, double x2, double y2, int32_t colour)
{
    if (std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2)) return;
    const uint32_t c = resolve(colour);
    if (m_penWidth >= 2) {
        wideLine(x1, y1, x2, y2, c);
        return;
    }
    double ax, ay, bx, by;
    toPixel(x1, ax), toPixel(y1, ay), toPixel(x2, bx), toPixel(y2, by);
    thinLine(static_cast<int64_t>(ax), static_cast<int64_t>(ay), static_cast<int64_t>(bx), static_cast<int64_t>(by), c);
}

// One-pixel line: pixel k (0 <= k < major length) lies at major + k and at
// minor + round-half-up(k * minorLength / majorLength). The step range is
// clipped to the surface first, so only visible pixels are visited.
void Canvas::thinLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t colour)
{
    const int64_t dx = x2 - x1, dy = y2 - y1;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0) return; // the end pixel is the start pixel
    const bool xMajor = adx >= ady;
    const int64_t len = xMajor ? adx : ady, minorLen = xMajor ? ady : adx;
    const int64_t majStart = xMajor ? x1 : y1, minStart = xMajor ? y1 : x1;
    const int64_t sMaj = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int64_t sMin = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t majSize = xMajor ? W : H, minSize = xMajor ? H : W;

    int64_t kLo = 0, kHi = len - 1;
    if (sMaj > 0) {
        kLo = std::max(kLo, -majStart);
        kHi = std::min(kHi, majSize - 1 - majStart);
    } else {
        kLo = std::max(kLo, majStart - (majSize - 1));
        kHi = std::min(kHi, majStart);
    }
    // Minor offset q(k) must keep the minor coordinate on the surface.
    const int64_t qLo = sMin > 0 ? -minStart : minStart - (minSize - 1);
    const int64_t qHi = sMin > 0 ? minSize - 1 - minStart : minStart;
    if (minorLen == 0) {
        if (qLo > 0 || qHi < 0) return;
    } else {
        kLo = std::max(kLo, ceilDiv(2 * len * qLo - len, 2 * minorLen));
        kHi = std::min(kHi, ceilDiv(2 * len * (qHi + 1) - len, 2 * minorLen) - 1);
    }
    if (kLo > kHi) return;

    const bool dashed = m_lineStyle != LineStyle::Solid;
    // Minor offset as a running quotient and remainder of (2 k m + len) / (2 len).
    int64_t num = 2 * kLo * minorLen + len;
    int64_t q = floorDiv(num, 2 * len);
    int64_t rem = num - q * 2 * len;
    const Pattern& pat = kPatterns[static_cast<size_t>(m_lineStyle)];
    // The pattern's colours, one a pixel (a solid line is a pattern of one).
    std::array<uint32_t, 24> colours;
    const int patLength = dashed ? pat.length : 1;
    for (int n = 0; n < patLength; ++n)
        colours[static_cast<size_t>(n)] = !dashed || pat.on[static_cast<size_t>(n)] ? colour : m_backColour;
    int patIndex = dashed ? static_cast<int>(kLo % pat.length) : 0;
    // Walked by index: a step along the major axis, and one across it
    // whenever the remainder wraps.
    const int64_t maj = majStart + sMaj * kLo, mn = minStart + sMin * q;
    uint32_t* surface = m_pixels.data();
    int64_t i = (xMajor ? mn : maj) * W + (xMajor ? maj : mn);
    const int64_t majStep = xMajor ? sMaj : sMaj * W, minStep = xMajor ? sMin * W : sMin;
    const bool copy = m_mix == Mix::CopyPen;
    for (int64_t k = kLo; k <= kHi; ++k) {
        const uint32_t c = colours[static_cast<size_t>(patIndex)];
        patIndex = patIndex + 1 == patLength ? 0 : patIndex + 1;
        if (copy) surface[i] = c;
        else mixSpan(m_mix, surface + i, 1, c);
        i += majStep;
        rem += 2 * minorLen;
        if (rem >= 2 * len) {
            rem -= 2 * len;
            i += minStep;
        }
    }
}

// Solid pen of width w centred on the line, with round ends: the pixels whose
// centres lie within w / 2 of the segment, worked out exactly in doubled
// units. Even widths move the line half a pixel up and left so that a level
// line covers exactly w rows.
void Canvas::wideLine(double x1, double y1, double x2, double y2, uint32_t colour)
{
    const int64_t w = std::min(m_penWidth, 1 << 20), shift = w % 2 == 0 ? 1 : 0;
    double p[4] = {x1, y1, x2, y2};
    for (double& v : p) toPixel(v, v);
    // In doubled units: pixel (i, j) is the point (2i, 2j), the pen's centre
    // line runs from A to B, and the pen's half-width is w.
    const int64_t ax = 2 * static_cast<int64_t>(p[0]) - shift, ay = 2 * static_cast<int64_t>(p[1]) - shift;
    const int64_t bx = 2 * static_cast<int64_t>(p[2]) - shift, by = 2 * static_cast<int64_t>(p[3]) - shift;
    const int64_t dx = bx - ax, dy = by - ay;
    const Wide w2 = static_cast<Wide>(w) * w, len2 = static_cast<Wide>(dx) * dx + static_cast<Wide>(dy) * dy;
    // Across the line: |d x (P - A)| <= w |d|, and the cross product is whole.
    const Wide across = isqrt(w2 * len2);

    const int64_t j0 = std::max<int64_t>(0, ceilDiv(std::min(ay, by) - w, 2));
    const int64_t j1 = std::min<int64_t>(H - 1, floorDiv(std::max(ay, by) + w, 2));
    for (int64_t j = j0; j <= j1; ++j) {
        const int64_t py = 2 * j;
        Wide lo = 0, hi = -1; // the doubled columns 2i covered so far
        auto add = [&](Wide from, Wide to) { // doubled columns from..to, rounded in to even ones
            from = 2 * ceilDiv(from, 2), to = 2 * floorDiv(to, 2);
            if (from > to) return;
            if (lo > hi) lo = from, hi = to;
            else lo = std::min(lo, from), hi = std::max(hi, to);
        };
        for (const auto& [cx, cy] : {std::pair{ax, ay}, std::pair{bx, by}}) { // the round ends
            const Wide h2 = w2 - static_cast<Wide>(py - cy) * (py - cy);
            if (h2 < 0) continue;
            const int64_t h = isqrt(h2);
            add(cx - h, cx + h);
        }
        if (len2 > 0) {
            // The body: 0 <= (P - A).d <= |d|^2 and -across <= d x (P - A) <= across,
            // each a range of the column for this row.
            Wide from = INT64_MIN, to = INT64_MAX;
            auto within = [&](Wide coef, Wide rest, Wide min, Wide max) { // min <= coef * x + rest <= max
                if (coef == 0) {
                    if (rest < min || rest > max) from = 1, to = 0;
                    return;
                }
                Wide a = min - rest, b = max - rest;
                if (coef < 0) coef = -coef, std::swap(a, b), a = -a, b = -b;
                from = std::max(from, ceilDiv(a, coef)), to = std::min(to, floorDiv(b, coef));
            };
            const Wide ey = py - ay;
            within(dx, -static_cast<Wide>(ax) * dx + ey * dy, 0, len2);
            within(-dy, static_cast<Wide>(dx) * ey + static_cast<Wide>(dy) * ax, -across, across);
            add(from, to);
        }
        if (lo > hi) continue;
        const auto column = [](Wide v) { return static_cast<int>(std::clamp<Wide>(v / 2, -2, W + 1)); };
        fillSpan(j, column(lo), column(hi), colour);
    }
}

void Canvas::box(double x1, double y1, double x2, double y2, int cornerPercent, int32_t outline, int32_t fill)
{
    double l, t, r, b;
    if (!toPixel(x1, l) || !toPixel(y1, t) || !toPixel(x2, r) || !toPixel(y2, b)) return;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    const int c = std::clamp(cornerPercent, 0, 100);
    const double e = std::floor(std::min(r - l, b - t) * c / 100);
    drawShape(l, t, r, b, e / 2, e / 2, false, outline, fill);
}

void Canvas::ellipse(double x1, double y1, double x2, double y2, int32_t outline, int32_t fill)
{
    double l, t, r, b;
    if (!toPixel(x1, l) || !toPixel(y1, t) || !toPixel(x2, r) || !toPixel(y2, b)) return;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    drawShape(l, t, r, b, (r - l) / 2, (b - t) / 2, true, outline, fill);
}

namespace {

// Squared half-width of an ellipse's row at dy from its centre (invRy is one
// over its vertical radius); -1 where the row misses it.
double halfWidth2(double rx, double invRy, double dy)
{
    if (!(rx > 0 && invRy > 0)) return -1;
    const double t = dy * invRy, t2 = t * t;
    if (t2 > 1 + 1e-12) return -1;
    return rx * rx * std::max(0.0, 1 - t2);
}

// The right edge of an ellipse's rows: the last column whose pixel centre lies
// inside. Rows come one after another, so the edge moves a little each time
// and is followed from the last one; after a jump it is guessed afresh from
// the row's half-width.
struct RowEdge {
    double centre; // in edge space
    int64_t edge = 0;
    bool known = false;

    template <typename Shape>
    int64_t follow(const Shape& shape, int64_t j, double h2)
    {
        if (known) {
            const int64_t e = shape.lastColumn(j, edge);
            if (shape.contains(e, j) && !shape.contains(e + 1, j)) return edge = e;
        }
        known = true;
        const double guess = std::floor(std::clamp(centre + std::sqrt(h2) - 0.5, -4 * kFar, 4 * kFar));
        return edge = shape.lastColumn(j, static_cast<int64_t>(guess));
    }
};

} // namespace

// A wide ellipse outline (the rings of the psychedelic mode are the heaviest
// drawing of the program): the band between the outer and inner ellipse,
// found row by row from the edges of the previous row. Ellipses here are
// symmetric about their centre column, so a row's left edge mirrors its right.
void Canvas::wideEllipse(const Shape& outer, const Shape& inner, uint32_t oc, bool filled, uint32_t fc)
{
    const double centre = (outer.x0 + outer.x1) / 2, middle = (outer.y0 + outer.y1) / 2;
    const int64_t mirrorSum = static_cast<int64_t>(std::llround(outer.x0 + outer.x1)) - 1; // left = sum - right
    const double px = centre - 0.5; // centre in pixel columns
    RowEdge outerEdge{centre}, innerEdge{centre};
    auto atLeast = [](double h2, double k) { return k <= 0 || h2 >= k * k; };
    auto atMost = [](double h2, double k) { return k >= 0 && h2 <= k * k; };
    auto clampSpan = [](int64_t a, int64_t b) {
        return Span{static_cast<int>(std::clamp<int64_t>(a, -2, W + 1)), static_cast<int>(std::clamp<int64_t>(b, -2, W + 1))};
    };
    auto visit = [&](int64_t j, int64_t mirror) {
        const double dy = static_cast<double>(j) + 0.5 - middle;
        const double o2 = halfWidth2(outer.rx, outer.invRy, dy);
        if (o2 < 0) return;
        const double i2 = halfWidth2(inner.rx, inner.invRy, dy);
        if (!filled) {
            // Rings far larger than the surface cross most rows off to the
            // side: skip a row whose two pieces both miss the surface.
            const double rightNear = -2 - px, leftNear = px - W - 1;
            const bool hidden = i2 < 0 ? !(atLeast(o2, rightNear) && atLeast(o2, leftNear))
                                       : !(atLeast(o2, rightNear) && atMost(i2, W + 1 - px)) &&
                                             !(atLeast(o2, leftNear) && atMost(i2, px + 2));
            if (hidden) return;
        }
        const int64_t ob = outerEdge.follow(outer, j, o2), oa = mirrorSum - ob;
        if (oa > ob) return;
        const Span o = clampSpan(oa, ob);
        Span in;
        if (i2 >= 0) {
            const int64_t ib = innerEdge.follow(inner, j, i2), ia = mirrorSum - ib;
            if (ia <= ib) in = intersect(clampSpan(ia, ib), {o.a + 1, o.b - 1});
        }
        fillRows(j, mirror, o, in, oc, filled ? &fc : nullptr);
    };
    if (filled) {
        outer.forRowPairs(visit);
        return;
    }
    // An outline can only show on rows where one of its two pieces reaches
    // the surface: the right piece where the outer half-width reaches the
    // left edge and the inner one stays short of the right edge, the left
    // piece the other way round. As distances from the middle row, each is
    // one interval; rows outside both are never visited (a row to spare).
    auto reaches = [](const Shape& e, double k) { // largest distance with half-width >= k; -1: none
        if (!(e.rx > 0 && e.ry > 0)) return -1.0;
        if (k <= 0) return e.ry;
        return k > e.rx ? -1.0 : e.ry * std::sqrt(1 - (k / e.rx) * (k / e.rx));
    };
    auto staysWithin = [](const Shape& e, double k) { // smallest distance with half-width <= k (or none)
        if (!(e.rx > 0 && e.ry > 0)) return 0.0;
        if (k < 0) return e.ry;
        return k >= e.rx ? 0.0 : e.ry * std::sqrt(1 - (k / e.rx) * (k / e.rx));
    };
    const double right[2] = {staysWithin(inner, W + 1 - px), reaches(outer, -2 - px)};
    const double left[2] = {staysWithin(inner, px + 2), reaches(outer, px - W - 1)};
    auto rows = [&](const double (&d)[2], int64_t& from, int64_t& to) { // top-half rows of a distance interval
        if (d[1] < 0 || d[0] > d[1]) return false;
        const double far = 1e15;
        from = static_cast<int64_t>(std::clamp(std::floor(middle - 0.5 - d[1]) - 1, -far, far));
        to = static_cast<int64_t>(std::clamp(std::ceil(middle - 0.5 - d[0]) + 1, -far, far));
        return true;
    };
    int64_t r0 = 0, r1 = -1, l0 = 0, l1 = -1;
    const bool hasRight = rows(right, r0, r1), hasLeft = rows(left, l0, l1);
    if (hasRight && hasLeft && std::max(r0, l0) <= std::min(r1, l1) + 1) {
        outer.forRowPairs(visit, std::min(r0, l0), std::max(r1, l1));
    } else {
        if (hasRight && hasLeft && l0 < r0) std::swap(r0, l0), std::swap(r1, l1);
        if (hasRight || hasLeft) outer.forRowPairs(visit, r0, r1); // rows in increasing order
        if (hasRight && hasLeft) outer.forRowPairs(visit, l0, l1);
    }
}

namespace {

// The constant an exclusive-or-like mix applies to every pixel of a figure
// drawn in colour p: S -> S ^ k. False for the mixes where order matters.
bool xorConstant(Mix m, uint32_t p, uint32_t& k)
{
    switch (m) {
    case Mix::Xor: k = p; return true;
    case Mix::NotXorPen: k = ~p & kRgbMask; return true;
    case Mix::Not: k = kRgbMask; return true;
    case Mix::Nop: k = 0; return true;
    default: return false;
    }
}

// floor(sqrt(k)) for 0 <= k < 2^24, where every value involved is exact in
// single precision: the rounded root is at most one too large.
inline int32_t isqrtSmall(int32_t k)
{
    const auto r = static_cast<int32_t>(std::sqrt(static_cast<float>(k)));
    const auto f = static_cast<float>(r);
    return r - (f * f > static_cast<float>(k));
}

// Rings of the row sweep stay within this doubled radius and this far from
// the surface, so that their squares fit the single-precision root above.
constexpr int64_t kMaxRingOuter = 4095;
constexpr int32_t kNoHole = INT32_MIN / 2;

// The right ends of n rings in row y, all rings alike and without branches,
// so that the compiler runs this on vectors: the last column whose centre
// lies inside the outer circle, and inside the hole (kNoHole where the row
// misses the hole). The arrays are separate (restrict says so).
[[gnu::always_inline]] inline void findRingEnds(int32_t y, size_t n, const int32_t* __restrict sumX,
                                                const int32_t* __restrict sumY, const int32_t* __restrict outer2,
                                                const int32_t* __restrict inner2, int32_t* __restrict outerEnd,
                                                int32_t* __restrict holeEnd)
{
    for (size_t i = 0; i < n; ++i) {
        const int32_t dy = 2 * y + 1 - sumY[i], dy2 = dy * dy;
        const int32_t hole = inner2[i] - dy2, missesHole = hole >> 31; // all ones when hole < 0
        const int32_t end = (isqrtSmall(hole & ~missesHole) + sumX[i] - 1) >> 1;
        outerEnd[i] = (isqrtSmall(outer2[i] - dy2) + sumX[i] - 1) >> 1;
        holeEnd[i] = (end & ~missesHole) | (kNoHole & missesHole);
    }
}

using RingEnds = void(int32_t, size_t, const int32_t*, const int32_t*, const int32_t*, const int32_t*, int32_t*,
                      int32_t*);
void ringEnds(int32_t y, size_t n, const int32_t* sumX, const int32_t* sumY, const int32_t* outer2,
              const int32_t* inner2, int32_t* outerEnd, int32_t* holeEnd)
{
    findRingEnds(y, n, sumX, sumY, outer2, inner2, outerEnd, holeEnd);
}

// d[x] = base[x] ^ start ^ t[0] ^ ... ^ t[x] for x in 0..W-1, where base is
// d itself or, onto a cleared row, the one colour `fill`: the row sweep of
// rings(). Eight columns at a time where the compiler has generic vectors:
// the prefix of four is two shifted exclusive-ors, the second four take the
// first's last lane, and one carry runs from block to block.
template <bool kOntoFill>
void xorPrefix(const uint32_t* t, uint32_t* d, uint32_t start, uint32_t fill = 0)
{
    int x = 0;
#if defined(__GNUC__) && (defined(__clang__) || __GNUC__ >= 12) && \
    (defined(__SSE2__) || defined(__wasm_simd128__) || defined(__ARM_NEON))
    using V = uint32_t __attribute__((vector_size(16)));
    const V zero{};
    auto prefix = [&](V v) {
        v ^= __builtin_shufflevector(v, zero, 4, 0, 1, 2);
        return v ^ __builtin_shufflevector(v, zero, 4, 5, 0, 1);
    };
    V carry{start, start, start, start};
    const V base{fill, fill, fill, fill};
    for (; x + 8 <= W; x += 8) {
        V v0, v1, p0 = base, p1 = base;
        std::memcpy(&v0, t + x, sizeof v0);
        std::memcpy(&v1, t + x + 4, sizeof v1);
        v0 = prefix(v0);
        v1 = prefix(v1) ^ __builtin_shufflevector(v0, v0, 3, 3, 3, 3);
        v0 ^= carry;
        v1 ^= carry;
        carry = __builtin_shufflevector(v1, v1, 3, 3, 3, 3);
        if constexpr (!kOntoFill) {
            std::memcpy(&p0, d + x, sizeof p0);
            std::memcpy(&p1, d + x + 4, sizeof p1);
        }
        p0 ^= v0;
        p1 ^= v1;
        std::memcpy(d + x, &p0, sizeof p0);
        std::memcpy(d + x + 4, &p1, sizeof p1);
    }
    start = carry[0];
#endif
    for (; x < W; ++x) {
        start ^= t[x];
        d[x] = (kOntoFill ? fill : d[x]) ^ start;
    }
}

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__)
#define TAMBREL_WIDE_VECTORS 1
// xorPrefix with 512-bit vectors: each group of four lanes takes its
// prefix by in-lane shifts, then every group the running total of the
// groups before it, in two steps.
template <bool kOntoFill>
__attribute__((target("avx512f"))) void xorPrefixWidest(const uint32_t* t, uint32_t* d, uint32_t start, uint32_t fill)
{
    using V = uint32_t __attribute__((vector_size(64)));
    const V zero{};
    V carry = V{} + start;
    const V base = V{} + fill;
    int x = 0;
    for (; x + 16 <= W; x += 16) {
        V v, p = base;
        std::memcpy(&v, t + x, sizeof v);
        v ^= __builtin_shufflevector(v, zero, 16, 0, 1, 2, 16, 4, 5, 6, 16, 8, 9, 10, 16, 12, 13, 14);
        v ^= __builtin_shufflevector(v, zero, 16, 16, 0, 1, 16, 16, 4, 5, 16, 16, 8, 9, 16, 16, 12, 13);
        v ^= __builtin_shufflevector(v, zero, 16, 16, 16, 16, 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11);
        v ^= __builtin_shufflevector(v, zero, 16, 16, 16, 16, 16, 16, 16, 16, 3, 3, 3, 3, 7, 7, 7, 7);
        v ^= carry;
        carry = __builtin_shufflevector(v, v, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15);
        if constexpr (!kOntoFill) std::memcpy(&p, d + x, sizeof p);
        p ^= v;
        std::memcpy(d + x, &p, sizeof p);
    }
    start = carry[0];
    for (; x < W; ++x) {
        start ^= t[x];
        d[x] = (kOntoFill ? fill : d[x]) ^ start;
    }
}

// The marks of n rings' pieces (see rings()) with 512-bit vectors, sixteen
// rings at a time and without a branch: each mark on its own is a toggle of
// the running value (left of the surface), of a column (on it) or nothing
// (right of it). The marks on the surface are packed into a list (room for
// 4 n + 16) for the whole row first, then applied: read back at once, the
// wide stores would hold every read up.
__attribute__((target("avx512f"))) uint32_t ringMarksWidest(size_t n, const int32_t* sumX, const int32_t* outerEnd,
                                                            const int32_t* holeEnd, const uint32_t* xorWith,
                                                            int32_t* columns, uint32_t* colours, uint32_t* toggles)
{
    using V = int32_t __attribute__((vector_size(64)));
    V fromLeft{};
    const V one = V{} + 1, width = V{} + W, noHole = V{} + kNoHole;
    size_t k = 0;
    for (size_t i = 0; i < n; i += 16) {
        const unsigned lanes = static_cast<unsigned>(std::min<size_t>(16, n - i));
        const auto all = static_cast<__mmask16>((1u << lanes) - 1);
        const V mirror = (V)_mm512_maskz_loadu_epi32(all, sumX + i) - one;
        const V ob = (V)_mm512_maskz_loadu_epi32(all, outerEnd + i), ib = (V)_mm512_maskz_loadu_epi32(all, holeEnd + i);
        const V c = (V)_mm512_maskz_loadu_epi32(all, xorWith + i);
        const __mmask16 hole = all & ~_mm512_cmpeq_epi32_mask((__m512i)ib, (__m512i)noHole);
        const V marks[4] = {mirror - ob, ob + one, mirror - ib, ib + one};
        const __mmask16 of[4] = {all, all, hole, hole};
        for (int j = 0; j < 4; ++j) {
            const auto m = (__m512i)marks[j];
            const __mmask16 left = of[j] & _mm512_cmple_epi32_mask(m, _mm512_setzero_si512());
            const __mmask16 on = of[j] & ~left & _mm512_cmplt_epi32_mask(m, (__m512i)width);
            fromLeft ^= (V)_mm512_maskz_mov_epi32(left, (__m512i)c);
            _mm512_storeu_si512(columns + k, _mm512_maskz_compress_epi32(on, m));
            _mm512_storeu_si512(colours + k, _mm512_maskz_compress_epi32(on, (__m512i)c));
            k += static_cast<size_t>(__builtin_popcount(on));
        }
    }
    for (size_t j = 0; j < k; ++j) toggles[columns[j]] ^= colours[j];
    uint32_t all = 0;
    for (int l = 0; l < 16; ++l) all ^= static_cast<uint32_t>(fromLeft[l]);
    return all;
}

// findRingEnds compiled for 512-bit and for 256-bit vectors.
__attribute__((target("avx512f,prefer-vector-width=512"))) void ringEndsWidest(
    int32_t y, size_t n, const int32_t* sumX, const int32_t* sumY, const int32_t* outer2, const int32_t* inner2,
    int32_t* outerEnd, int32_t* holeEnd)
{
    findRingEnds(y, n, sumX, sumY, outer2, inner2, outerEnd, holeEnd);
}

__attribute__((target("avx2"))) void ringEndsWide(int32_t y, size_t n, const int32_t* sumX, const int32_t* sumY,
                                                  const int32_t* outer2, const int32_t* inner2, int32_t* outerEnd,
                                                  int32_t* holeEnd)
{
    findRingEnds(y, n, sumX, sumY, outer2, inner2, outerEnd, holeEnd);
}

// xorPrefix sixteen columns at a time, for processors with 256-bit vectors
// (chosen at run time; xorPrefix stays the baseline): each 128-bit half
// takes its prefix by in-lane shifts, the upper half then the lower half's
// last lane.
using Lanes8 = uint32_t __attribute__((vector_size(32)));

__attribute__((target("avx2"), always_inline)) inline Lanes8 widePrefix(Lanes8 v)
{
    const Lanes8 zero{};
    v ^= __builtin_shufflevector(v, zero, 8, 0, 1, 2, 8, 4, 5, 6);
    v ^= __builtin_shufflevector(v, zero, 8, 8, 0, 1, 8, 8, 4, 5);
    return v ^ __builtin_shufflevector(v, zero, 8, 8, 8, 8, 3, 3, 3, 3);
}

template <bool kOntoFill>
__attribute__((target("avx2"))) void xorPrefixWide(const uint32_t* t, uint32_t* d, uint32_t start, uint32_t fill = 0)
{
    using V = Lanes8;
    auto prefix = widePrefix;
    V carry{start, start, start, start, start, start, start, start};
    const V base{fill, fill, fill, fill, fill, fill, fill, fill};
    int x = 0;
    for (; x + 16 <= W; x += 16) {
        V v0, v1, p0 = base, p1 = base;
        std::memcpy(&v0, t + x, sizeof v0);
        std::memcpy(&v1, t + x + 8, sizeof v1);
        v0 = prefix(v0);
        v1 = prefix(v1) ^ __builtin_shufflevector(v0, v0, 7, 7, 7, 7, 7, 7, 7, 7);
        v0 ^= carry;
        v1 ^= carry;
        carry = __builtin_shufflevector(v1, v1, 7, 7, 7, 7, 7, 7, 7, 7);
        if constexpr (!kOntoFill) {
            std::memcpy(&p0, d + x, sizeof p0);
            std::memcpy(&p1, d + x + 8, sizeof p1);
        }
        p0 ^= v0;
        p1 ^= v1;
        std::memcpy(d + x, &p0, sizeof p0);
        std::memcpy(d + x + 8, &p1, sizeof p1);
    }
    start = carry[0];
    for (; x < W; ++x) {
        start ^= t[x];
        d[x] = (kOntoFill ? fill : d[x]) ^ start;
    }
}
#endif

} // namespace

// A wide circle outline for the row sweep of rings(): the same rule as
// drawShape's wide ellipse (the band between the circle grown by w/2 - 1/2
// and shrunk by w/2 + 1/2, pixel centres on the edge inside), but exact in
// whole numbers. Only the rows where a piece of it can reach the surface are
// kept: one band of rows, or two where the hole covers the whole width of
// the surface in the middle rows. False when the figure is not such a
// circle; the caller then draws it on its own.
bool Canvas::addRingRows(double cx, double cy, double radius, uint32_t xorWith)
{
    const int w = m_penWidth;
    if (w < 2) return false;
    double l, t, r, b;
    if (!toPixel(cx - radius, l) || !toPixel(cy - radius, t) || !toPixel(cx + radius, r) || !toPixel(cy + radius, b))
        return true; // NaN: nothing to draw
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    if (r - l != b - t || w > kMaxRingOuter || r - l + w - 1 > kMaxRingOuter) return false;
    if (xorWith == 0 || r + w < 0 || l - w > W || b + w < 0 || t - w > H) return true; // nothing shows
    const auto outer = static_cast<int64_t>(r - l) + w - 1;
    const int64_t inner = static_cast<int64_t>(r - l) - w - 1;
    const auto sumX = static_cast<int64_t>(l + r), sumY = static_cast<int64_t>(t + b);
    // The surface's columns as doubled offsets u from the centre; m and mm are
    // the least and the greatest |u| among them.
    const int64_t uLo = 1 - sumX, uHi = 2 * W - 1 - sumX;
    const int64_t m = uLo > 0 ? uLo : uHi < 0 ? -uHi : 0, mm = std::max(-uLo, uHi);
    // A row (doubled offset dy from the centre) shows something when the
    // outer circle reaches a column, dy^2 <= outer^2 - m^2, and the hole does
    // not cover them all, dy^2 > inner^2 - mm^2.
    const int64_t reach = outer * outer - m * m;
    if (reach < 0) return true;
    const int64_t far = isqrt(reach);
    const int64_t coveredBy = inner > 0 ? inner * inner - mm * mm : -1;
    const int64_t near = coveredBy >= 0 ? isqrt(coveredBy) : -1;
    // Here the centre lies within the ring's size of the surface, so every
    // value below fits 32 bits.
    RingRows ring{static_cast<int32_t>(sumX), static_cast<int32_t>(sumY), static_cast<int32_t>(outer * outer),
                  inner > 0 ? static_cast<int32_t>(inner * inner) : -1, 0, 0, xorWith};
    auto band = [&](int64_t dyFrom, int64_t dyTo) { // rows with dy in [dyFrom, dyTo]
        ring.rowFrom = static_cast<int32_t>(std::max<int64_t>(0, ceilDiv(dyFrom + sumY - 1, 2)));
        ring.rowTo = static_cast<int32_t>(std::min<int64_t>(H - 1, floorDiv(dyTo + sumY - 1, 2)));
        if (ring.rowFrom <= ring.rowTo) m_ringRows.push_back(ring);
    };
    if (near < 0) {
        band(-far, far);
    } else {
        band(-far, -near - 1);
        band(near + 1, far);
    }
    return true;
}

int Canvas::widestVectorBits()
{
#ifdef TAMBREL_WIDE_VECTORS
    static const int bits = __builtin_cpu_supports("avx512f") ? 512 : __builtin_cpu_supports("avx2") ? 256 : 128;
    return bits;
#else
    return 128;
#endif
}

void Canvas::rings(std::span<const RingSet> sets, std::optional<int32_t> background)
{
    uint32_t k = 0;
    if (background && !xorConstant(m_mix, 0, k)) clearCanvas(*background);
    if (!xorConstant(m_mix, 0, k)) {
        for (const RingSet& set : sets) {
            m_penWidth = set.penWidth;
            for (int i = 0; i < set.count; ++i)
                circle(set.cx, set.cy, set.firstRadius + i * set.spacing, set.colour, kNoFill);
        }
        return;
    }
    // Exclusive-or figures commute: gather every ring, then write each row
    // once. Rings that are not plain circles are drawn on their own after
    // the sweep (which may clear the surface first).
    m_ringRows.clear();
    std::vector<std::pair<const RingSet*, double>> onTheirOwn;
    for (const RingSet& set : sets) {
        m_penWidth = set.penWidth;
        const uint32_t p = resolve(set.colour);
        xorConstant(m_mix, p, k);
        for (int i = 0; i < set.count; ++i) {
            const double radius = set.firstRadius + i * set.spacing;
            if (!addRingRows(set.cx, set.cy, radius, k)) onTheirOwn.emplace_back(&set, radius);
        }
    }
    ringSweep(background);
    for (const auto& [set, radius] : onTheirOwn) {
        m_penWidth = set->penWidth;
        circle(set->cx, set->cy, radius, set->colour, kNoFill);
    }
    if (!sets.empty()) m_penWidth = sets.back().penWidth;
}

// The rows of the gathered rings, each written once (onto the background
// colour when there is one).
void Canvas::ringSweep(std::optional<int32_t> background)
{
    // Rows no ring reaches are cleared on their own (when asked to be).
    const uint32_t fill = background ? (*background == -1 ? m_backColour : static_cast<uint32_t>(*background) & kRgbMask) : 0;
    auto clearRows = [&](int from, int to) {
        if (background && from < to) std::fill(&at(0, from), &at(0, from) + static_cast<size_t>(to - from) * W, fill);
    };
    if (m_ringRows.empty()) {
        clearRows(0, H);
        return;
    }
    std::stable_sort(m_ringRows.begin(), m_ringRows.end(),
              [](const RingRows& a, const RingRows& b) { return a.rowFrom < b.rowFrom; });

    // Per row, each ring's pieces mark where they start and end in a toggle
    // row; a running exclusive-or along the row then gives every pixel the
    // combined constant of the pieces that cover it. Pieces off the surface
    // leave no mark, and starts left of it go straight into the running
    // value, so that no two marks in a row queue up on one column.
    std::array<uint32_t, W> toggles{};
    uint32_t fromLeft = 0;
    auto mark = [&](int32_t a, int32_t end, uint32_t c) { // the piece [a, end)
        if (end <= 0 || a >= W) return;
        if (a <= 0) fromLeft ^= c;
        else toggles[static_cast<size_t>(a)] ^= c;
        if (end < W) toggles[static_cast<size_t>(end)] ^= c;
    };
    void (*sweepRow)(const uint32_t*, uint32_t*, uint32_t, uint32_t) = background ? &xorPrefix<true> : &xorPrefix<false>;
    RingEnds* findEnds = &ringEnds;
#ifdef TAMBREL_WIDE_VECTORS
    if (m_vectorBits >= 256) {
        sweepRow = background ? &xorPrefixWide<true> : &xorPrefixWide<false>;
        findEnds = &ringEndsWide;
    }
    if (m_vectorBits >= 512) {
        sweepRow = background ? &xorPrefixWidest<true> : &xorPrefixWidest<false>;
        findEnds = &ringEndsWidest;
    }
#endif
    ActiveRings& a = m_active;
    auto resize = [&a](size_t n) {
        for (auto* v : {&a.sumX, &a.sumY, &a.outer2, &a.inner2, &a.rowTo, &a.outerEnd, &a.holeEnd}) v->resize(n);
        a.xorWith.resize(n);
    };
    size_t n = 0, next = 0;
    int32_t lastOfAll = H; // the least last row among the active rings
    int y = m_ringRows.front().rowFrom;
    clearRows(0, y);
    for (; y < H && (next < m_ringRows.size() || n > 0); ++y) {
        if (y > lastOfAll) { // some ring has run out: keep the others
            size_t kept = 0;
            lastOfAll = H;
            for (size_t i = 0; i < n; ++i) {
                if (a.rowTo[i] < y) continue;
                a.sumX[kept] = a.sumX[i], a.sumY[kept] = a.sumY[i], a.outer2[kept] = a.outer2[i];
                a.inner2[kept] = a.inner2[i], a.rowTo[kept] = a.rowTo[i], a.xorWith[kept] = a.xorWith[i];
                lastOfAll = std::min(lastOfAll, a.rowTo[i]);
                ++kept;
            }
            n = kept;
        }
        for (; next < m_ringRows.size() && m_ringRows[next].rowFrom == y; ++next, ++n) {
            if (n >= a.sumX.size()) resize(2 * n + 16);
            const RingRows& r = m_ringRows[next];
            a.sumX[n] = r.sumX, a.sumY[n] = r.sumY, a.outer2[n] = r.outer2;
            a.inner2[n] = r.inner2, a.rowTo[n] = r.rowTo, a.xorWith[n] = r.xorWith;
            lastOfAll = std::min(lastOfAll, r.rowTo);
        }
        if (n == 0) {
            clearRows(y, y + 1);
            continue;
        }
        const int32_t *sumX = a.sumX.data(), *outerEnd = a.outerEnd.data(), *holeEnd = a.holeEnd.data();
        findEnds(y, n, sumX, a.sumY.data(), a.outer2.data(), a.inner2.data(), a.outerEnd.data(), a.holeEnd.data());
        fromLeft = 0;
#ifdef TAMBREL_WIDE_VECTORS
        if (m_vectorBits >= 512) {
            if (a.markColumns.size() < 4 * n + 16) a.markColumns.resize(4 * n + 16), a.markColours.resize(4 * n + 16);
            fromLeft = ringMarksWidest(n, sumX, outerEnd, holeEnd, a.xorWith.data(), a.markColumns.data(),
                                       a.markColours.data(), toggles.data());
        } else
#endif
        for (size_t i = 0; i < n; ++i) {
            // Left ends mirror the right ones about the centre.
            const int32_t mirror = sumX[i] - 1, ob = outerEnd[i], ib = holeEnd[i];
            if (ib == kNoHole) {
                mark(mirror - ob, ob + 1, a.xorWith[i]);
            } else {
                mark(mirror - ob, mirror - ib, a.xorWith[i]);
                mark(ib + 1, ob + 1, a.xorWith[i]);
            }
        }
        sweepRow(toggles.data(), &at(0, y), fromLeft, fill);
        toggles.fill(0);
    }
    clearRows(y, H);
}

// Outline and fill of a box, rounded box or ellipse covering columns l..r-1
// and rows t..b-1. Thin outlines are the shape's pixels with a 4-neighbour
// outside it; wide ones the band of width w centred on that thin outline.
void Canvas::drawShape(double l, double t, double r, double b, double rx, double ry, bool isEllipse, int32_t outline,
                       int32_t fill)
{
    const uint32_t oc = resolve(outline);
    const bool filled = fill != kNoFill;
    const uint32_t fc = fill == kOutlineColour ? oc : static_cast<uint32_t>(fill) & kRgbMask;
    const Shape shape = Shape::make(l, r, t, b, rx, ry, isEllipse);
    const int w = std::min(m_penWidth, 1 << 20);

    if (w >= 2) {
        const Shape outer = shape.grown(w / 2.0 - 0.5);
        const Shape inner = shape.grown(-(w / 2.0 + 0.5));
        if (isEllipse) {
            wideEllipse(outer, inner, oc, filled, fc);
            return;
        }
        outer.forRowPairs([&](int64_t j, int64_t mirror) {
            const Span o = outer.row(j);
            if (o.empty()) return;
            const Span in = intersect(inner.row(j), {o.a + 1, o.b - 1});
            fillRows(j, mirror, o, in, oc, filled ? &fc : nullptr);
        });
        return;
    }

    if (shape.empty()) return;
    const bool dashed = m_lineStyle != LineStyle::Solid;
    if (!dashed) {
        Shape::Rows rows(shape, -2, W + 1);
        shape.forRowPairs([&](int64_t j, int64_t mirror) {
            const Span s = rows[j];
            if (s.empty()) return;
            const Span in = rows.interior(j, s);
            fillRows(j, mirror, s, in, oc, filled ? &fc : nullptr);
        });
        return;
    }

    // Dashed outline: the pattern runs along the outline, so its pixels are
    // put in order first. Small shapes are walked whole, so clipping never
    // moves the pattern; huge ones only where they can be seen: their
    // pattern starts afresh at the first pixel on the surface.
    constexpr int kWalkWhole = 8192;
    const bool whole = r - l <= kWalkWhole && b - t <= kWalkWhole && l > -kWalkWhole && t > -kWalkWhole &&
                       r < W + kWalkWhole && b < H + kWalkWhole;
    // A shape walked whole is the same at every whole-pixel place: its walk
    // is kept, relative to its top-left corner, and reused (a mesh of dots
    // draws hundreds of one size a frame).
    const DashedWalk::Size size{r - l, b - t, rx, ry, isEllipse};
    DashedWalk* walk = nullptr;
    if (whole) {
        for (DashedWalk& kept : m_walks)
            if (kept.size == size) walk = &kept;
        if (!walk) {
            walk = &m_walks[m_nextWalk];
            m_nextWalk = (m_nextWalk + 1) % m_walks.size();
            walk->size = size;
            walkDashed(shape, -l, -t, true, *walk);
        }
    } else {
        walk = &m_hugeWalk;
        walkDashed(shape, 0, 0, false, *walk);
    }
    const int ox = whole ? static_cast<int>(l) : 0, oy = whole ? static_cast<int>(t) : 0;
    if (filled)
        for (const DashedWalk::Row& row : walk->interiors) fillSpan(oy + row.y, ox + row.a, ox + row.b, fc);
    const Pattern& pat = kPatterns[static_cast<size_t>(m_lineStyle)];
    int index = 0;
    for (const DashedWalk::Pixel& p : walk->outline) {
        plot(ox + p.x, oy + p.y, pat.on[static_cast<size_t>(index)] ? oc : m_backColour);
        if (++index == pat.length) index = 0;
    }
}

// The shape moved by (dx, dy) (whole pixels): its outline's pixels in order
// clockwise, and its interior's rows; a walk not whole keeps to the surface.
void Canvas::walkDashed(const Shape& at, double dx, double dy, bool whole, DashedWalk& walk)
{
    const Shape shape = Shape::make(at.x0 + dx, at.x1 + dx, at.y0 + dy, at.y1 + dy, at.rx, at.ry, at.isEllipse);
    const bool isBox = !shape.isEllipse && !shape.rounded;
    const double l = shape.x0, r = shape.x1, t = shape.y0, b = shape.y1;
    constexpr int kWide = 16384; // clamps that never bite a shape walked whole
    const int lo = whole ? -kWide : -2, hi = whole ? kWide : W + 1;
    const int j0 = whole ? static_cast<int>(std::floor(t)) : clampToInt(std::floor(t), 0, H);
    const int j1 = whole ? static_cast<int>(std::ceil(b)) : clampToInt(std::ceil(b), -1, H - 1);
    walk.interiors.clear();
    std::vector<DashedWalk::Pixel>& pts = walk.outline;
    pts.clear();
    Shape::Rows rows(shape, lo, hi);
    for (int j = j0; j <= j1; ++j) {
        const Span s = rows[j];
        if (s.empty()) continue;
        const Span in = rows.interior(j, s);
        if (!in.empty()) walk.interiors.push_back({j, in.a, in.b});
        auto add = [&](int x0, int x1) {
            if (!whole) x0 = std::max(x0, 0), x1 = std::min(x1, W - 1);
            for (int x = x0; x <= x1; ++x) pts.push_back({x, j, 0});
        };
        if (in.empty()) add(s.a, s.b);
        else add(s.a, in.a - 1), add(in.b + 1, s.b);
    }
    const double cx = (l + r) / 2 - 0.5, cy = (t + b) / 2 - 0.5;
    if (isBox) {
        // Clockwise from the top-left corner along the four edges.
        const double top = t, right = r - 1, bottom = b - 1, left = l;
        for (DashedWalk::Pixel& p : pts) {
            if (p.y == top) p.key = p.x - left;
            else if (p.x == right) p.key = (right - left) + (p.y - top);
            else if (p.y == bottom) p.key = (right - left) + (bottom - top) + (right - p.x);
            else p.key = 2 * (right - left) + (bottom - top) + (bottom - p.y);
        }
    } else {
        // A huge shape's offsets are too large for turn(): their arctangents.
        for (DashedWalk::Pixel& p : pts) {
            if (whole) {
                p.key = turn(p.x - cx, p.y - cy);
            } else {
                const double a = std::atan2(p.y - cy, p.x - cx);
                p.key = a < 0 ? a + 2 * std::numbers::pi : a;
            }
        }
    }
    // Ties keep the order the pixels were found in: row by row, left to right.
    std::sort(pts.begin(), pts.end(), [](const DashedWalk::Pixel& a, const DashedWalk::Pixel& b) {
        return a.key < b.key || (a.key == b.key && (a.y < b.y || (a.y == b.y && a.x < b.x)));
    });
}

void Canvas::copyImage(const Image& image, double x1, double y1, double x2, double y2, double dx, double dy)
{
    double sx0, sy0, sx1, sy1, tx, ty;
    if (!toPixel(x1, sx0) || !toPixel(y1, sy0) || !toPixel(x2, sx1) || !toPixel(y2, sy1) || !toPixel(dx, tx) ||
        !toPixel(dy, ty))
        return;
    if (sx1 < sx0 || sy1 < sy0) return;
    const int imageRows = image.width > 0 ? static_cast<int>(std::min<size_t>(image.pixels.size() / image.width,
                                                                             static_cast<size_t>(image.height)))
                                          : 0;
    // Clip the block to the source image, then to the surface, in doubles so
    // that nothing can overflow.
    double bx0 = std::max({sx0, 0.0, sx0 + (0 - tx)});
    double by0 = std::max({sy0, 0.0, sy0 + (0 - ty)});
    double bx1 = std::min({sx1, image.width - 1.0, sx0 + (W - 1 - tx)});
    double by1 = std::min({sy1, imageRows - 1.0, sy0 + (H - 1 - ty)});
    if (bx0 > bx1 || by0 > by1) return;
    const int srcX = static_cast<int>(bx0), srcY = static_cast<int>(by0);
    const int n = static_cast<int>(bx1 - bx0) + 1, rows = static_cast<int>(by1 - by0) + 1;
    const int dstX = static_cast<int>(tx + (bx0 - sx0)), dstY = static_cast<int>(ty + (by0 - sy0));
    for (int k = 0; k < rows; ++k) {
        const uint32_t* src = &image.pixels[static_cast<size_t>(srcY + k) * image.width + srcX];
        uint32_t* dst = &at(dstX, dstY + k);
        for (int i = 0; i < n; ++i) dst[i] = src[i] & kRgbMask;
    }
}

} // namespace tambrel
