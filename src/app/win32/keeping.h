// SPDX-License-Identifier: MIT
#pragma once
// Keeping what the user sees on Windows: Save Picture (a PNG through the
// Windows Imaging Component), Save Session and Open Session (replayed at
// its pace, then the user's), from the canvas's context menu, the window's
// system menu and the usual shortcuts; and the command line's --record and
// --replay.

#include "app/replay.h"
#include "app/session.h"

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

namespace tambrel {

class Program;

class Keeping {
public:
    // The entries' command ids: below the system's own (0xF000), multiples
    // of 16 as the system menu wants, and apart from the controls' ids.
    enum Entry : UINT { SavePicture = 0x100, SaveSession = 0x110, OpenSession = 0x120 };

    explicit Keeping(Program& program) : m_program(program) {}
    ~Keeping();
    Keeping(const Keeping&) = delete;
    Keeping& operator=(const Keeping&) = delete;

    // The entries in the window's system menu and the shortcuts; the window
    // hands its menu commands, timers and context menus here.
    void attach(HWND window);
    HACCEL shortcuts() const { return m_shortcuts; }
    bool onCommand(UINT id);
    bool onTimer(UINT_PTR id);
    void showContextMenu(int screenX, int screenY);

    // Writes the session to `file` now, then every second while it grows,
    // and once more at the end (finish).
    bool recordTo(const std::wstring& file, std::string& error);
    void replay(Session session);
    // A press or click of the user's own ends a replay: the window is theirs.
    void takeOver();
    void finish();

private:
    void savePicture();
    void saveSession();
    void openSession();
    void writeRecord(bool always);
    void endReplay(const std::string& problem);

    Program& m_program;
    HWND m_window = nullptr;
    HACCEL m_shortcuts = nullptr;
    std::unique_ptr<SessionReplay> m_replay;
    std::chrono::steady_clock::time_point m_replayStart;
    std::wstring m_recordFile;
    uint64_t m_recordedBytes = 0;
};

// The whole file in `bytes`, or false with the system's reason.
bool readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::string& error);
// A whole file or none: written beside it, then renamed over it.
bool writeWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes, std::string& error);
std::string narrow(const std::wstring& s);

} // namespace tambrel
