// SPDX-License-Identifier: MIT
#pragma once
// A program without a window, put into the heaviest states the modes reach.

#include "app/program.h"
#include "gfx/memory_platform.h"

#include <functional>

namespace tambrel::bench {

struct Fixture {
    Fixture()
    {
        program.rnd.setState(12345);
        program.buildMainWindow();
    }
    void switchOn(int index)
    {
        program.onDialogEvent({DialogMessage::Command, kModeTable[static_cast<size_t>(index)].buttonId, kClicked, false});
    }
    void click(int x, int y)
    {
        platform.setCanvasMouse(x, y);
        program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
    }
    // Sets the generator to the first state from which `want` holds.
    void seedWhere(const std::function<bool(Rnd&)>& want)
    {
        for (uint32_t s = 0;; ++s) {
            Rnd r;
            r.setState(s);
            if (want(r)) {
                program.rnd.setState(s);
                return;
            }
        }
    }

    MemoryPlatform platform;
    MemoryDialogView view;
    Program program{platform, view};
};

enum ModeIndex {
    kFollower, kBouncy, kDrawing, kFireworks, kEmitter, kGravity, kSnow,
    kStars, kBumps, kShader, kClouds, kCapture, kWhirl, kPsyche
};

} // namespace tambrel::bench
