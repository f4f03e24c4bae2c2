// SPDX-License-Identifier: MIT
#pragma once
// The program wired to its window: the main dialog, the Qt platform and the
// window-free program, built in start-up order.

#include "app/program.h"
#include "app/qt/canvas_widget.h"
#include "app/qt/main_dialog.h"
#include "app/qt/qt_platform.h"
#include "app/qt/keep_control.h"

namespace tambrel {

template <typename PlatformType = QtPlatform>
struct BasicQtApp {
    explicit BasicQtApp(uint32_t seed) : platform(dialog.canvasWidget()), program(platform, dialog)
    {
        program.rnd.setState(seed);
        dialog.attach(&program, &platform);
        dialog.attachKeeping(&keeping);
        program.buildMainWindow(); // every caption final before the window shows
    }
    ~BasicQtApp() { shutdown(); }

    // Ends the animation thread. The platform stops waiting for paints first:
    // the thread may be waiting for one that this thread, now joining, would
    // never run.
    void shutdown()
    {
        keeping.takeOver(); // a replay under way ends here
        platform.setClosing();
        program.finish();
    }

    void show()
    {
        program.startAnimation();
        dialog.show();
        dialog.activateWindow();
    }

    MainDialog dialog; // also makes the bold and normal fonts
    PlatformType platform;
    Program program;
    KeepControl keeping{&dialog, program};
};

using QtApp = BasicQtApp<>;

} // namespace tambrel
