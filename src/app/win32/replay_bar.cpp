// SPDX-License-Identifier: MIT
#include "app/win32/replay_bar.h"

#include "app/files.h"
#include "app/layout.h"
#include "app/replay_control.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

namespace tambrel {

namespace {
std::wstring clock(uint32_t ms)
{
    const uint32_t s = ms / 1000;
    wchar_t text[32];
    if (s >= 3600) swprintf(text, 32, L"%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
    else swprintf(text, 32, L"%u:%02u", s / 60, s % 60);
    return text;
}

int trackUnits(uint32_t ms) { return static_cast<int>(std::min<uint32_t>(ms, INT_MAX)); }
} // namespace

void ReplayBar::create(HWND window)
{
    m_window = window;
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    auto make = [&](const wchar_t* kind, const wchar_t* text, DWORD style, Id id) {
        return CreateWindowExW(0, kind, text, WS_CHILD | style, 0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    m_play = make(L"BUTTON", L"Pause", WS_TABSTOP | BS_PUSHBUTTON, Play);
    m_label = make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE, Label);
    m_timeline = make(TRACKBAR_CLASSW, L"Replay position", WS_TABSTOP | TBS_HORZ | TBS_BOTTOM | TBS_ENABLESELRANGE, Timeline);
    m_speed = make(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, Speed);
    m_takeOver = make(L"BUTTON", L"Take Over", WS_TABSTOP | BS_PUSHBUTTON, TakeOver);
    m_close = make(L"BUTTON", L"\u00D7", WS_TABSTOP | BS_PUSHBUTTON, Close);
    for (double s : ReplayControl::kSpeeds)
        SendMessageW(m_speed, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(ReplayControl::speedLabel(s)).c_str()));
    SendMessageW(m_timeline, TBM_SETLINESIZE, 0, 5000);
    SendMessageW(m_timeline, TBM_SETPAGESIZE, 0, 60000);
}

void ReplayBar::place(int dpi, HFONT font)
{
    m_dpi = dpi;
    auto px = [dpi](int v) { return MulDiv(v, dpi, 96); };
    const int top = px(layout::kClientHeight + 5), h = px(23), width = px(layout::kClientWidth);
    struct Slot {
        HWND control;
        int left, width;
    };
    // From the left and from the right; the track takes what is between.
    const Slot slots[] = {{m_play, 8, 60}, {m_label, 74, 190}};
    const Slot right[] = {{m_close, 24, 24}, {m_takeOver, 24 + 6 + 70, 70}, {m_speed, 24 + 6 + 70 + 6 + 110, 110}};
    for (const Slot& s : slots) SetWindowPos(s.control, nullptr, px(s.left), top, px(s.width), h, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const Slot& s : right)
        SetWindowPos(s.control, nullptr, width - px(8 + s.left), top, px(s.width), s.control == m_speed ? px(200) : h,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    const int trackLeft = px(74 + 190 + 6), trackRight = width - px(8 + 24 + 6 + 70 + 6 + 110 + 6);
    SetWindowPos(m_timeline, nullptr, trackLeft, top - px(2), std::max(px(40), trackRight - trackLeft), px(28), SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND c : {m_play, m_label, m_speed, m_takeOver, m_close}) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void ReplayBar::show(bool shown)
{
    if (shown == m_shown) return;
    m_shown = shown;
    for (HWND c : {m_play, m_label, m_timeline, m_speed, m_takeOver, m_close}) ShowWindow(c, shown ? SW_SHOW : SW_HIDE);
    // The window's client area grows (or shrinks) by the bar; its top-left stays.
    RECT outer{}, client{};
    GetWindowRect(m_window, &outer);
    GetClientRect(m_window, &client);
    const int clientHeight = MulDiv(layout::kClientHeight + (shown ? kHeight : 0), m_dpi, 96);
    SetWindowPos(m_window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + clientHeight - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_ticks = 0;
    m_text.clear();
}

void ReplayBar::refresh(const ReplayControl& replay, bool now)
{
    const ULONGLONG at = GetTickCount64();
    if (!now && at - m_refreshed < 100) return;
    m_refreshed = at;
    const std::wstring text = L"Replaying " + wide(replay.name()) + L"  " +
                              (replay.seeking() ? L"Going to " + clock(replay.seekTargetMs()) + L" (at " + clock(replay.seekReachMs()) + L")"
                                                : clock(replay.positionMs()) + L" / " + clock(replay.durationMs()));
    if (text != m_text) SetWindowTextW(m_label, (m_text = text).c_str());
    if (m_duration != replay.durationMs() || m_ticks != replay.switches().size()) {
        m_duration = replay.durationMs();
        m_ticks = replay.switches().size();
        SendMessageW(m_timeline, TBM_SETRANGEMIN, FALSE, 0);
        SendMessageW(m_timeline, TBM_SETRANGEMAX, FALSE, trackUnits(m_duration));
        SendMessageW(m_timeline, TBM_CLEARTICS, FALSE, 0);
        for (uint32_t t : replay.switches()) SendMessageW(m_timeline, TBM_SETTIC, 0, trackUnits(t)); // a mode switched here
    }
    SendMessageW(m_timeline, TBM_SETSELSTART, FALSE, 0);
    SendMessageW(m_timeline, TBM_SETSELEND, TRUE, trackUnits(replay.copiesReachMs()));
    if (GetCapture() != m_timeline) SendMessageW(m_timeline, TBM_SETPOS, TRUE, trackUnits(replay.shownMs()));
    SetWindowTextW(m_play, replay.paused() ? L"Play" : L"Pause");
    const auto* speeds = std::begin(ReplayControl::kSpeeds);
    const auto index = std::find(speeds, std::end(ReplayControl::kSpeeds), replay.speed()) - speeds;
    if (SendMessageW(m_speed, CB_GETCURSEL, 0, 0) != index) SendMessageW(m_speed, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

uint32_t ReplayBar::trackPosition() const
{
    return static_cast<uint32_t>(std::max<LRESULT>(0, SendMessageW(m_timeline, TBM_GETPOS, 0, 0)));
}

void ReplayBar::moveToPointer()
{
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(m_timeline, &at);
    RECT channel{}, thumb{};
    SendMessageW(m_timeline, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    SendMessageW(m_timeline, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    // The thumb's middle travels the channel less half a thumb at each end.
    const int half = (thumb.right - thumb.left) / 2;
    const int from = channel.left + half, span = std::max(1, static_cast<int>(channel.right - channel.left) - 2 * half);
    const double part = std::clamp(static_cast<double>(at.x - from) / span, 0.0, 1.0);
    SendMessageW(m_timeline, TBM_SETPOS, TRUE, trackUnits(static_cast<uint32_t>(std::lround(part * m_duration))));
}

double ReplayBar::chosenSpeed() const
{
    const LRESULT i = SendMessageW(m_speed, CB_GETCURSEL, 0, 0);
    return i >= 0 && i < static_cast<LRESULT>(std::size(ReplayControl::kSpeeds)) ? ReplayControl::kSpeeds[i] : 1;
}

} // namespace tambrel
