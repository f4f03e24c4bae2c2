// SPDX-License-Identifier: MIT
#pragma once
// A tip the program places and shows itself, not where the pointer rests:
// "click the canvas" under the canvas, the note after a save under the
// window. One line of the system's tooltip control, over no control.

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace tambrel {

class TrackingTip {
public:
    void create(HWND owner, int maxWidth)
    {
        m_owner = owner;
        m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
        SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, maxWidth);
        TTTOOLINFOW t = tool();
        t.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&t));
    }
    // `text` with its top-left corner at a point of the screen.
    void show(const std::wstring& text, int screenX, int screenY)
    {
        m_text = text; // the control keeps a pointer to it
        TTTOOLINFOW t = tool();
        SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&t));
        SendMessageW(m_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(screenX, screenY));
        SendMessageW(m_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&t));
    }
    void hide()
    {
        TTTOOLINFOW t = tool();
        SendMessageW(m_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&t));
    }

private:
    TTTOOLINFOW tool()
    {
        TTTOOLINFOW t{};
        t.cbSize = TTTOOLINFOW_V2_SIZE; // understood by every version of the common controls
        t.hwnd = m_owner;
        t.uId = 1;
        t.lpszText = m_text.data();
        return t;
    }

    HWND m_owner = nullptr, m_tip = nullptr;
    std::wstring m_text;
};

} // namespace tambrel
