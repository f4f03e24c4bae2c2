// SPDX-License-Identifier: MIT
#pragma once
// Everything window-bound the core needs, behind one narrow interface: the
// Qt front end implements it for the real window, MemoryPlatform for tests
// and tools.

#include "gfx/image.h"

namespace tambrel {

class Platform {
public:
    virtual ~Platform() = default;

    // Pointer position in the main window's client coordinates. Callable from
    // both threads; may lie outside the window.
    virtual void pointerClientPosition(int& x, int& y) = 0;
    // Shows the canvas surface and returns once it has been painted (at once
    // when called from the animation thread while the window is closing).
    virtual void redraw() = 0;
    virtual void sleepMs(int ms) = 0;
    // Window thread only: handles at most one pending event, else sleeps ms.
    virtual void doEvents(int ms) = 0;
    virtual bool clearClipboard() = 0;
    // A picture of the whole screen onto the clipboard, as the print-screen key.
    virtual void pressPrintScreen() = 0;
    // The clipboard's picture; false when it holds none or cannot be read.
    virtual bool getClipboardImage(Image& out) = 0;
};

} // namespace tambrel
