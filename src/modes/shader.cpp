// SPDX-License-Identifier: MIT
#include "modes/shader.h"

#include "gfx/geometry.h"
#include "gfx/numeric.h"

#include <algorithm>
#include <array>

namespace tambrel {

namespace {
// White, red, green, yellow, blue, magenta, cyan; then white again.
constexpr std::array<int32_t, 7> kTints = {0x030303, 0x000003, 0x000300, 0x000303, 0x030000, 0x030003, 0x030300};
constexpr double kRestHalfSize = 15; // bob half-size with the pointer at rest
constexpr double kMinHalfSize = 1;
} // namespace

int ShaderMode::bobHalfSize(double moved) { return roundToInt(std::max(kRestHalfSize - moved, kMinHalfSize)); }

void ShaderMode::initState()
{
    isOn = false;
    shadeMask = kTints[0];
}

void ShaderMode::start()
{
    canvas().clearCanvas(0);
    PixelBuffer& buf = pixelBuffer();
    for (int x = 0; x < 600; ++x)
        for (int y = 0; y < 512; ++y) buf.at(x, y) = 0;
}

void ShaderMode::onCanvasClick(int /*x*/, int /*y*/)
{
    const auto it = std::find(kTints.begin(), kTints.end(), shadeMask);
    shadeMask = (it == kTints.end() || it + 1 == kTints.end()) ? kTints[0] : *(it + 1);
}

void ShaderMode::stepFrame(int mouseX, int mouseY)
{
    const uint32_t mask = static_cast<uint32_t>(shadeMask);
    const int addRed = static_cast<int>(mask & 0xFF);
    const int addGreen = static_cast<int>((mask & 0xFF00) >> 8);
    const int addBlue = static_cast<int>((mask & 0xFF0000) >> 16);

    FrameValues& f = frame();
    const int h = bobHalfSize(distance(mouseX, mouseY, f.prevMouseX, f.prevMouseY));
    f.prevMouseX = mouseX;
    f.prevMouseY = mouseY;

    // Only the part of the square inside the 600 x 512 area is processed.
    const int x0 = static_cast<int>(std::max<long long>(0, 0LL + mouseX - h));
    const int x1 = static_cast<int>(std::min<long long>(599, 0LL + mouseX + h));
    const int y0 = static_cast<int>(std::max<long long>(0, 0LL + mouseY - h));
    const int y1 = static_cast<int>(std::min<long long>(511, 0LL + mouseY + h));
    PixelBuffer& buf = pixelBuffer();
    Canvas& c = canvas();
    for (int px = x0; px <= x1; ++px) {
        for (int py = y0; py <= y1; ++py) {
            const uint32_t v = static_cast<uint32_t>(buf.at(px, py));
            const int32_t out = rgb(static_cast<int>(v & 0xFF) + addRed, static_cast<int>((v & 0xFF00) >> 8) + addGreen,
                                    static_cast<int>((v & 0xFF0000) >> 16) + addBlue);
            buf.at(px, py) = out;
            c.setPixel(px, py, out);
        }
    }
}

} // namespace tambrel
