// SPDX-License-Identifier: MIT
#pragma once
// An off-screen picture, as the clipboard hands it over: 24-bit pixels packed
// like every colour of the program (0x00BBGGRR), row after row.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tambrel {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // width * height, row-major

    Image() = default;
    Image(int w, int h, uint32_t fill = 0)
        : width(w > 0 ? w : 0), height(h > 0 ? h : 0),
          pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

    uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

} // namespace tambrel
