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

} // namespace tambrel
