// SPDX-License-Identifier: MIT
#include "app/qt/image_convert.h"

#include <algorithm>
#include <cstring>

namespace tambrel {

namespace {
// 0x00BBGGRR <-> 0xAARRGGBB: swap the red and blue bytes.
inline uint32_t swapRedBlue(uint32_t v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }
} // namespace

Image imageFromQImage(const QImage& source)
{
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) return {};
    const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
    Image out(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) out.at(x, y) = swapRedBlue(row[x]);
    }
    return out;
}

void surfaceToQImage(const uint32_t* pixels, int width, int height, QImage& target)
{
    if (target.width() != width || target.height() != height || target.format() != QImage::Format_RGB32)
        target = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(target.scanLine(y));
        const uint32_t* src = pixels + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) row[x] = 0xFF000000u | swapRedBlue(src[x]);
    }
}

namespace {
// A surface row spread `Block` pixels a pixel: a fixed count the compiler unrolls.
template <int Block>
void spreadRow(const uint32_t* src, uint32_t* out)
{
    for (int x = 0; x < Canvas::kWidth; ++x)
        for (int k = 0; k < Block; ++k) out[Block * x + k] = src[x];
}
} // namespace

void surfaceToBlocks(const uint32_t* pixels, int block, QImage& target, QPoint origin, int fromRow, int toRow)
{
    const qsizetype stride = target.bytesPerLine() / 4;
    for (int y = fromRow; y < toRow; ++y) {
        // A surface row as `block` rows: the first written, the others copied from it.
        const uint32_t* src = pixels + static_cast<size_t>(y) * Canvas::kWidth;
        uint32_t* first = reinterpret_cast<uint32_t*>(target.scanLine(origin.y() + y * block)) + origin.x();
        switch (block) {
        case 2: spreadRow<2>(src, first); break;
        case 3: spreadRow<3>(src, first); break;
        case 4: spreadRow<4>(src, first); break;
        default:
            for (int x = 0; x < Canvas::kWidth; ++x) std::fill_n(first + x * block, block, src[x]);
        }
        for (int r = 1; r < block; ++r) std::memcpy(first + r * stride, first, sizeof(uint32_t) * Canvas::kWidth * block);
    }
}

QImage canvasToQImage(const Canvas& canvas)
{
    QImage out;
    surfaceToQImage(canvas.pixels(), Canvas::kWidth, Canvas::kHeight, out);
    return out;
}

} // namespace tambrel
