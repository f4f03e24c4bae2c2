// SPDX-License-Identifier: MIT
#pragma once
// Tambrel as a Windows screensaver: the same program named tambrel.scr.
// "/s" shows the canvas, played by its own hand, full screen on every
// monitor until a key, a click or a move of the mouse; "/p HWND" draws it
// small into the Screen Saver settings' preview until that window goes;
// "/c" (or nothing, as a .scr) asks how long each mode plays and which.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tambrel {

struct SaverCommand {
    enum class Kind { Show, Preview, Settings };
    Kind kind = Kind::Settings;
    HWND window = nullptr; // the preview's parent, or the settings' owner
};

// What a screensaver's command line asks for ("/s", "/p 1234", "/c:1234",
// "-c" and the like, in either case), or nothing when it asks for the
// window. A .scr started with nothing shows its settings, as Windows' own
// "Configure" does. `problem` says why a saver's command was refused.
std::optional<SaverCommand> saverCommand(int argc, wchar_t** argv, bool runAsScreensaver, std::string& problem);

// The saver's settings, kept under HKCU\Software\Tambrel.
struct SaverSettings {
    uint32_t secondsPerMode = 30;
    uint32_t modes = 0; // bit m for mode m of the table; 0: every one but Capture
};
SaverSettings readSaverSettings();
bool writeSaverSettings(const SaverSettings& settings, std::string& problem);

int runSaver(HINSTANCE instance, const SaverCommand& command);

} // namespace tambrel
