// SPDX-License-Identifier: MIT
#pragma once
// The platform without a window: the pointer is whatever the caller sets,
// pauses are recorded instead of slept (unless asked to sleep for real), and
// the "screen" is a picture the caller provides.

#include "gfx/platform.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <optional>
#include <vector>

namespace tambrel {

class MemoryPlatform : public Platform {
public:
    explicit MemoryPlatform(bool realSleeps = false) : m_realSleeps(realSleeps) {}

    void setPointer(int clientX, int clientY)
    {
        m_pointerX.store(clientX);
        m_pointerY.store(clientY);
    }
    // Convenience: the pointer such that getCanvasMouse reports (x, y); near
    // the int range's top the client position saturates instead of overflowing.
    void setCanvasMouse(int x, int y)
    {
        auto client = [](int v) { return static_cast<int>(std::min<long long>(0LL + v + 5, INT_MAX)); };
        setPointer(client(x), client(y));
    }
    void setScreen(std::optional<Image> screen);

    void pointerClientPosition(int& x, int& y) override
    {
        x = m_pointerX.load();
        y = m_pointerY.load();
    }
    void redraw() override { m_redraws.fetch_add(1); }
    void sleepMs(int ms) override;
    void doEvents(int ms) override;
    bool clearClipboard() override;
    void pressPrintScreen() override;
    bool getClipboardImage(Image& out) override;

    int redraws() const { return m_redraws.load(); }
    std::vector<int> sleeps() const;
    std::vector<int> eventWaits() const;
    bool clipboardHasImage() const;

private:
    const bool m_realSleeps;
    std::atomic<int> m_pointerX{0}, m_pointerY{0};
    std::atomic<int> m_redraws{0};
    mutable std::mutex m_mutex; // guards everything below
    std::vector<int> m_sleeps, m_eventWaits;
    std::optional<Image> m_screen, m_clipboard;
};

} // namespace tambrel
