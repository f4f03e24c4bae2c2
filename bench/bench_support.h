// SPDX-License-Identifier: MIT
#pragma once
// A program without a window, put into the heaviest states the modes reach.

#include "app/program.h"
#include "gfx/memory_platform.h"
#include "modes/psyche.h"

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

// The heaviest psyche frame, the same for every edition's figure: four
// centres near the corners, width 8, 228 rings. Frames are stepped with the
// pointer at (590, 500), so that the last centre stays in its corner.
inline PsycheMode& heavyPsyche(Fixture& f)
{
    f.switchOn(kPsyche);
    auto& m = f.program.mode<PsycheMode>(kPsyche);
    m.s.psycheCount = 4;
    m.s.psycheSources = {{10, 10, 8, 0}, {590, 10, 8, 3}, {10, 500, 8, -2}, {590, 500, 8, 5}};
    m.s.psycheColours.assign(4, 0x3366CC);
    return m;
}

} // namespace tambrel::bench
