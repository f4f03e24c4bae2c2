// SPDX-License-Identifier: MIT
#pragma once
// Conversions between Qt's pictures and the core's packed 0x00BBGGRR pixels.

#include "gfx/canvas.h"
#include "gfx/image.h"

#include <QImage>

namespace tambrel {

// Any QImage (any format, alpha or palette included) as 24-bit pixels.
Image imageFromQImage(const QImage& source);
// Copies the surface into `target` (Format_RGB32, resized when needed).
void surfaceToQImage(const uint32_t* pixels, int width, int height, QImage& target);
QImage canvasToQImage(const Canvas& canvas);
// The surface, already in the window's format, as blocks of `block` x
// `block` pixels, its top-left corner at `origin` in `target` (32 bits a
// pixel, large enough): what the window and the screensaver show when
// scaled up. Only its rows `fromRow` to `toRow` (excluded), if asked.
void surfaceToBlocks(const uint32_t* pixels, int block, QImage& target, QPoint origin, int fromRow = 0,
                     int toRow = Canvas::kHeight);

} // namespace tambrel
