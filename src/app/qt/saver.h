// SPDX-License-Identifier: MIT
#pragma once
// Tambrel as a screensaver: the canvas alone, played by its own hand,
// in the largest whole blocks that fit and centred on black. It draws into
// a window it is given (the screensaver daemon's), onto the root window,
// or full screen in a window of its own; no buttons, no menu.

#include <QString>

#include <cstdint>

namespace tambrel {

struct SaverOptions {
    enum class Where {
        OwnWindow, // full screen; a key, a click or a move ends it
        Given,     // inside `windowId`, until that window goes
        Root,      // the root window, as a desktop background
    };
    Where where = Where::OwnWindow;
    unsigned long windowId = 0;
    uint32_t seed = 1;
    uint32_t secondsPerMode = 30;
    QString record; // the file to keep the show in, when asked
};

// Before the application is made: the saver's pictures are whole blocks of
// device pixels, so the desktop's scale factors do not apply; and it runs
// at the lowest priority, giving way to anything the user starts.
void prepareSaver();

// Needs the application. Runs until SIGTERM, SIGINT or SIGHUP (or, in a
// window of its own, the user's input) and returns the exit status.
int runSaver(const SaverOptions& options);

} // namespace tambrel
