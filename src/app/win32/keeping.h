// SPDX-License-Identifier: MIT
#pragma once
// Keeping what the user sees on Windows: Save Picture (a PNG through the
// Windows Imaging Component), Save Session and Open Session (replayed at
// its pace, then the user's), from the canvas's context menu, the window's
// system menu and the usual shortcuts; the command line's --record and
// --replay; and Play by Itself.

#include "app/autopilot.h"
#include "app/record_file.h"
#include "app/replay_control.h"
#include "app/win32/replay_bar.h"
#include "app/win32/tracking_tip.h"
#include "app/session.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tambrel {

class Program;

class Keeping {
public:
    // The entries' command ids: below the system's own (0xF000), multiples
    // of 16 as the system menu wants, and apart from the controls' ids.
    enum Entry : UINT {
        SavePicture = 0x100, SaveSession = 0x110, OpenSession = 0x120, About = 0x130,
        // The replay's keys.
        ReplayPause = 0x140, ReplayBack = 0x150, ReplayForward = 0x160, ReplayStart = 0x170, ReplayEnd = 0x180,
        ReplaySlower = 0x190, ReplayFaster = 0x1A0, ReplayTakeOver = 0x1B0, ShowSaved = 0x1C0, PlayByItself = 0x1D0,
    };

    explicit Keeping(Program& program) : m_program(program), m_record(program) {}
    ~Keeping();
    Keeping(const Keeping&) = delete;
    Keeping& operator=(const Keeping&) = delete;

    // The entries in the window's system menu and the shortcuts; the window
    // hands its menu commands, timers and context menus here.
    void attach(HWND window);
    HACCEL shortcuts() const { return m_shortcuts; }
    bool onCommand(UINT id, UINT code = 0);
    // The replay bar's track bar moved (WM_HSCROLL).
    bool onScroll(HWND control, int code);
    // Lays the replay bar out at the window's scale.
    void placeBar(int dpi, HFONT font) { m_bar.place(dpi, font); }
    int barHeight() const { return m_bar.shown() ? ReplayBar::kHeight : 0; }
    bool onTimer(UINT_PTR id);
    void showContextMenu(int screenX, int screenY);

    // Writes the session to `file` now, then every second while it grows,
    // and once more at the end (finish).
    bool recordTo(const std::wstring& file, std::string& error);
    // Plays `session` from its start or `atMs`; `name` is what its bar calls it.
    void replay(Session session, const std::wstring& name, uint32_t atMs = 0);
    bool recording() const { return m_record.active(); }
    // A press or click of the user's own ends a replay: the window is theirs.
    void takeOver();
    // Play by Itself: a hand of the program's own moves, clicks and switches
    // modes (see Autopilot) until the user's press, click or key stops it.
    // `hand` puts the pointer where the hand is (nothing: the mouse's again).
    void setHand(std::function<void(std::optional<POINT>)> hand) { m_hand = std::move(hand); }
    void playByItself(uint32_t seed);
    void stopPlaying();
    bool playing() const { return m_pilot != nullptr; }
    // The user closes the window: --record's file is written to the end,
    // and where it cannot be, the user is asked to keep the session elsewhere.
    void beforeClose();
    // At the end of the run, the window gone: false when --record's file
    // lacks the end and the session was not saved elsewhere either.
    bool finish();

private:
    void savePicture();
    bool saveSession(); // false when it was not saved
    void openSession();
    bool writeRecord(bool always); // false when the write failed
    void endReplay(const std::string& problem);
    void kept(const wchar_t* what, const std::wstring& path, std::wstring& lastFolder);
    void showSaved();
    double replayClock() const; // ms since the replay began
    void seek(uint32_t ms);
    void seekBy(int64_t ms);
    void pace();

    Program& m_program;
    HWND m_window = nullptr;
    HACCEL m_shortcuts = nullptr;
    std::unique_ptr<ReplayControl> m_replay;
    ReplayBar m_bar;
    TrackingTip m_note;
    std::wstring m_saved; // the last file saved
    std::wstring m_pictureFolder, m_sessionFolder; // where each kind went last in this run
    std::chrono::steady_clock::time_point m_replayStart;
    RecordFile m_record;
    std::unique_ptr<Autopilot> m_pilot;
    DWORD m_pilotFrom = 0;
    std::function<void(std::optional<POINT>)> m_hand;
    bool m_keptElsewhere = false;
    bool m_paced = false; // the replay timer runs
};

} // namespace tambrel
