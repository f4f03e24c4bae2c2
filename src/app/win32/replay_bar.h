// SPDX-License-Identifier: MIT
#pragma once
// The bar under the window while a session replays, in the system's own
// controls: play and pause, the session's name and time, a track bar with a
// tick at every mode switch and the copies' reach as its selection, the
// speed, "Take Over" and a close. The window grows by its height while it
// shows; the canvas and the buttons keep their places.

#include <windows.h>

#include <cstdint>
#include <string>

namespace tambrel {

class ReplayControl;

class ReplayBar {
public:
    // The controls' ids: apart from the window's controls and the menu entries.
    enum Id : UINT { Play = 0x200, Label, Timeline, Speed, TakeOver, Close };
    static constexpr int kHeight = 34; // in the layout's pixels

    void create(HWND window);
    // At the window's scale: below the layout's client area.
    void place(int dpi, HFONT font);
    void show(bool shown);
    bool shown() const { return m_shown; }
    // The replay as it stands; the time and the track at most ten times a second.
    void refresh(const ReplayControl& replay, bool now);
    // The track bar's position after the user moved it.
    uint32_t trackPosition() const;
    // Puts the track bar's thumb where the pointer is (a click on its track).
    void moveToPointer();
    double chosenSpeed() const;

private:
    HWND m_window = nullptr;
    HWND m_play = nullptr, m_label = nullptr, m_timeline = nullptr, m_speed = nullptr, m_takeOver = nullptr, m_close = nullptr;
    int m_dpi = 96;
    bool m_shown = false;
    ULONGLONG m_refreshed = 0;
    std::wstring m_text;
    size_t m_ticks = 0;
    uint32_t m_duration = 0;
};

} // namespace tambrel
