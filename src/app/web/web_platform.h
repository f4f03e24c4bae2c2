// SPDX-License-Identifier: MIT
#pragma once
// The platform in a web page, on the page's one thread. Nothing here may
// block: a pause (a pass's 10 ms, a click's rebuild, the capture's waits)
// is added up and handed to the page's scheduler, which runs no pass until
// that much time has gone by. The screen picture comes from the page
// (screen sharing or the clipboard) before the capture button reaches the
// program, and stays inside the program: the user's clipboard is never
// touched.

#include "gfx/platform.h"

#include <optional>
#include <utility>

namespace tambrel {

class WebPlatform : public Platform {
public:
    void setPointer(int clientX, int clientY) { m_pointerX = clientX, m_pointerY = clientY; }
    // The picture the next capture finds; none switches the mode on black.
    void setScreen(std::optional<Image> screen) { m_screen = std::move(screen); }
    // The pauses asked for since the last call, in milliseconds.
    int takePause() { return std::exchange(m_pauseMs, 0); }
    // Whether a redraw was asked for since the last call.
    bool takeRedraw() { return std::exchange(m_redraw, false); }

    void pointerClientPosition(int& x, int& y) override { x = m_pointerX, y = m_pointerY; }
    void redraw() override { m_redraw = true; } // the page shows the surface at its next animation frame
    void sleepMs(int ms) override { addPause(ms); }
    void doEvents(int ms) override { addPause(ms); } // events wait in the page's queue meanwhile
    bool clearClipboard() override { return true; }
    void pressPrintScreen() override { m_clipboard = std::exchange(m_screen, std::nullopt); }
    bool getClipboardImage(Image& out) override
    {
        if (!m_clipboard) return false;
        out = std::move(*m_clipboard);
        m_clipboard.reset();
        return true;
    }

private:
    void addPause(int ms)
    {
        if (ms > 0) m_pauseMs = ms > kMaxPauseMs - m_pauseMs ? kMaxPauseMs : m_pauseMs + ms;
    }
    static constexpr int kMaxPauseMs = 60000;

    int m_pointerX = 0, m_pointerY = 0;
    int m_pauseMs = 0;
    bool m_redraw = false;
    std::optional<Image> m_screen, m_clipboard;
};

} // namespace tambrel
