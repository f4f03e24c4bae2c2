// SPDX-License-Identifier: MIT
#pragma once
// A whole program without a window, for tests: in-memory platform and dialog.

#include "app/program.h"
#include "gfx/geometry.h"
#include "gfx/memory_platform.h"
#include "gfx/numeric.h"

#include <chrono>
#include <cstdlib>
#include <functional>

namespace tambrel::test {

struct Harness {
    explicit Harness(uint32_t seed = 1234, bool realSleeps = false) : platform(realSleeps), program(platform, view)
    {
        program.rnd.setState(seed);
        program.buildMainWindow();
    }

    void press(int buttonId, int code = kClicked)
    {
        program.onDialogEvent({DialogMessage::Command, buttonId, code, false});
    }
    void switchOn(int modeIndex) { press(kModeTable[static_cast<size_t>(modeIndex)].buttonId); }
    void clickCanvas(int x, int y, int code = kClicked)
    {
        platform.setCanvasMouse(x, y);
        press(kCanvasId, code);
    }
    void passes(int n, int x = 300, int y = 256)
    {
        platform.setCanvasMouse(x, y);
        for (int i = 0; i < n; ++i) program.frameLoop().pass();
    }

    MemoryPlatform platform;
    MemoryDialogView view;
    Program program;
};

// The first state s in [0, limit) whose random sequence satisfies `want`, for
// tests that need a particular draw (a ring burst of 5, a spacing of 20).
inline uint32_t findState(const std::function<bool(Rnd&)>& want, uint32_t limit = 50'000'000)
{
    for (uint32_t s = 0; s < limit; ++s) {
        Rnd r;
        r.setState(s);
        if (want(r)) return s;
    }
    return limit;
}

// The reliability tests run a bounded number of rounds; scripts/soak.sh sets
// TAMBREL_SOAK_SECONDS to keep them going that long instead.
class SoakClock {
public:
    SoakClock() : m_start(std::chrono::steady_clock::now())
    {
        const char* v = std::getenv("TAMBREL_SOAK_SECONDS");
        m_seconds = v ? std::atof(v) : 0;
    }
    // Another round: always the first `rounds`, then until the soak's time is up.
    bool more(long round, long rounds) const
    {
        return round < rounds ||
               std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count() < m_seconds;
    }

private:
    std::chrono::steady_clock::time_point m_start;
    double m_seconds = 0;
};

// Mode indices in button order.
enum ModeIndex {
    kFollower, kBouncy, kDrawing, kFireworks, kEmitter, kGravity, kSnow,
    kStars, kBumps, kShader, kClouds, kCapture, kWhirl, kPsyche
};

} // namespace tambrel::test
