// SPDX-License-Identifier: MIT
#pragma once
// The main window's layout, in pixels of its client area, for every front
// end alike: where the canvas and the fifteen buttons sit, how big they are
// and which fonts the buttons use.

#include "app/dialog_view.h"

#include <array>
#include <string_view>

namespace tambrel::layout {

struct Rect {
    int left, top, width, height;
};

constexpr int kClientWidth = 736;
constexpr int kClientHeight = 530;
constexpr Rect kCanvas{8, 8, 600, 512};
// A flat border pixel and a sunken edge pixel: the surface starts at (10, 10).
constexpr int kCanvasFrame = 2;

// Button n (n = 0..15) of the column; slot 14 (id 1016) stays empty.
constexpr int kButtonSlots = 16;
constexpr int kButtonLeft = 624, kButtonTop = 8, kButtonPitch = 32, kButtonWidth = 106, kButtonHeight = 24;
constexpr int buttonId(int slot) { return kFirstModeButtonId + slot; }
constexpr Rect buttonRect(int id)
{
    return {kButtonLeft, kButtonTop + kButtonPitch * (id - kFirstModeButtonId), kButtonWidth, kButtonHeight};
}

// The classic dialog font where it exists, else the nearest small sans-serif,
// 8 points (11 pixels at 96 dots per inch).
constexpr std::array<std::string_view, 5> kFontFamilies = {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans",
                                                           "Arimo", "DejaVu Sans"};
constexpr int kFontPoints = 8;

} // namespace tambrel::layout
