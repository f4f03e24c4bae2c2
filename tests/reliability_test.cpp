// SPDX-License-Identifier: MIT
// Storms of input against the running animation thread, and long runs of
// every mode with random pointer paths and clicks.

#include "modes/bumps.h"
#include "modes/emitter.h"
#include "modes/fireworks.h"
#include "modes/gravity.h"
#include "modes/psyche.h"
#include "modes/snow.h"
#include "modes/stars.h"
#include "modes/whirl.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cmath>
#include <random>
#include <thread>

namespace tambrel {
namespace {

// Pauses shortened fifty-fold, so that thousands of events fit in a test.
class QuickPlatform : public MemoryPlatform {
public:
    void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::microseconds(ms * 20)); }
};

// At most one mode on, and the window says the same.
void expectConsistent(Program& program, MemoryDialogView& view)
{
    std::lock_guard lock(program.stateLock);
    int on = 0, which = -1;
    for (int i = 0; i < kModeCount; ++i)
        if (program.mode(i).isOn) ++on, which = i;
    ASSERT_LE(on, 1);
    ASSERT_EQ(view.title, which < 0 ? std::string("Tambrel") : std::string(kModeTable[static_cast<size_t>(which)].title));
    for (int i = 0; i < kModeCount; ++i) {
        const ModeInfo& info = kModeTable[static_cast<size_t>(i)];
        const auto& b = view.buttons[info.buttonId];
        ASSERT_EQ(b.caption, i == which ? info.onCaption : info.offCaption);
        ASSERT_EQ(b.font == ButtonFont::Bold, i == which);
    }
}

int randomPointer(std::mt19937& gen)
{
    switch (gen() % 6) {
    case 0: return static_cast<int>(gen() % 2000001) - 1000000; // far outside
    case 1: return gen() % 2 ? INT_MAX : INT_MIN;
    default: return static_cast<int>(gen() % 700) - 50;
    }
}

// Each mode's tables agree with their counts, and every value a frame draws
// from is a number.
void expectTablesSound(Program& program)
{
    auto finite = [](double v) { return std::isfinite(v); };
    auto& fireworks = program.mode<FireworksMode>(test::kFireworks);
    for (const Spark& s : fireworks.s.sparks)
        if (s.radius > 0) {
            ASSERT_TRUE(finite(s.x) && finite(s.y) && finite(s.vx) && finite(s.vy));
        }
    auto& emitter = program.mode<EmitterMode>(test::kEmitter);
    ASSERT_GE(emitter.s.emitterCursor, 0);
    ASSERT_LE(emitter.s.emitterCursor, kParticleSlots);
    auto& gravity = program.mode<GravityMode>(test::kGravity);
    ASSERT_EQ(gravity.s.gravityPoints.size(), static_cast<size_t>(gravity.s.gravityCols * gravity.s.gravityRows));
    ASSERT_LE(static_cast<size_t>(gravity.s.gravityCount), gravity.s.gravityPoints.size());
    auto& bumps = program.mode<BumpsMode>(test::kBumps);
    ASSERT_EQ(bumps.s.bumpBalls.size(), static_cast<size_t>(bumps.s.bumpCount));
    ASSERT_EQ(bumps.s.bumpColours.size(), static_cast<size_t>(bumps.s.bumpCount));
    for (const BumpBall& b : bumps.s.bumpBalls) {
        ASSERT_TRUE(finite(b.x) && finite(b.y));
        ASSERT_GE(b.x, 0);
        ASSERT_LE(b.x, 600);
    }
    auto& whirl = program.mode<WhirlMode>(test::kWhirl);
    ASSERT_EQ(whirl.s.whirlParticles.size(), static_cast<size_t>(whirl.s.whirlCount));
    ASSERT_EQ(whirl.s.whirlOrder.size(), static_cast<size_t>(whirl.s.whirlCount));
    auto& psyche = program.mode<PsycheMode>(test::kPsyche);
    ASSERT_EQ(psyche.s.psycheSources.size(), static_cast<size_t>(psyche.s.psycheCount));
    for (const RingSource& r : psyche.s.psycheSources) ASSERT_TRUE(r.phase > -r.width && r.phase <= r.width);
    auto& stars = program.mode<StarsMode>(test::kStars);
    for (const Star& s : stars.s.starTable)
        if (s.length > 0) {
            ASSERT_TRUE(s.x >= 0 && s.x <= 600 && s.y >= 0 && s.y <= 512);
        }
    auto& snow = program.mode<SnowMode>(test::kSnow);
    for (const Flake& f : snow.s.snowFlakes)
        if (f.size > 0) {
            ASSERT_LE(f.y, 512);
        }
}

TEST(Storm, RandomEventsAgainstTheRunningThreadThenACloseAtARandomMoment)
{
    long events = 0;
    const test::SoakClock soak;
    uint32_t round = 0;
    for (; soak.more(round, 40); ++round) {
        QuickPlatform platform;
        platform.setScreen(Image(64 + round % 40 * 40, 48 + round % 40 * 30, 0x224466)); // up to 1624 x 1218
        MemoryDialogView view;
        Program program(platform, view);
        program.rnd.setState(round * 7919u);
        program.buildMainWindow();
        ASSERT_TRUE(program.startAnimation());
        std::mt19937 gen(round);
        const int closeAt = 100 + static_cast<int>(gen() % 300);
        for (int e = 0; e < closeAt; ++e, ++events) {
            platform.setPointer(randomPointer(gen), randomPointer(gen));
            const int kind = static_cast<int>(gen() % 10);
            if (kind < 4) {
                program.onDialogEvent({DialogMessage::Command, kFirstModeButtonId + static_cast<int>(gen() % 14),
                                       static_cast<int>(gen() % 3), false});
            } else if (kind < 8) {
                program.onDialogEvent({DialogMessage::Command, kCanvasId, static_cast<int>(gen() % 2), false});
            } else if (kind == 8) {
                program.onDialogEvent({DialogMessage::Command, kClearScreenId, 0, false});
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(gen() % 3000)); // let some frames run
            }
            ASSERT_NO_FATAL_FAILURE(expectConsistent(program, view));
            std::lock_guard lock(program.stateLock);
            ASSERT_NO_FATAL_FAILURE(expectTablesSound(program));
        }
        program.onDialogEvent({DialogMessage::Destroy, kNoControl, 0, false});
        program.finish(); // returns once the thread has seen the close
    }
    RecordProperty("events", static_cast<int>(events));
    std::printf("storm: %ld events in %u rounds, every invariant checked after each\n", events, round);
}

// Every mode for many frames, with a wandering pointer that sometimes leaves
// the canvas far behind and clicks now and then.
TEST(LongRun, EveryModeWithRandomPointerPathsAndClicks)
{
    struct Run {
        int mode, frames;
    };
    // The heaviest frames run fewer times, so the whole test stays short.
    const Run runs[] = {{test::kFollower, 100000}, {test::kBouncy, 100000}, {test::kDrawing, 40000},
                        {test::kFireworks, 30000},  {test::kEmitter, 30000}, {test::kGravity, 8000},
                        {test::kSnow, 20000},       {test::kStars, 20000},   {test::kBumps, 20000},
                        {test::kShader, 100000},    {test::kClouds, 40},     {test::kCapture, 4000},
                        {test::kWhirl, 40000},      {test::kPsyche, 1500}};
    long total = 0;
    for (const Run& run : runs) {
        test::Harness h(static_cast<uint32_t>(run.mode) * 1009u);
        h.platform.setScreen(Image(640, 480, 0x808080));
        h.switchOn(run.mode);
        std::mt19937 gen(static_cast<uint32_t>(run.mode));
        double x = 300, y = 256, vx = 0, vy = 0;
        const int clickEvery = run.mode == test::kClouds ? 1 : 997;
        for (int f = 0; f < run.frames; ++f) {
            // A pointer that drifts, jumps now and then, and sometimes goes far away.
            vx = std::clamp(vx + (static_cast<int>(gen() % 7) - 3) * 0.5, -20.0, 20.0);
            vy = std::clamp(vy + (static_cast<int>(gen() % 7) - 3) * 0.5, -20.0, 20.0);
            x += vx, y += vy;
            if (gen() % 500 == 0) x = static_cast<int>(gen() % 4000) - 2000, y = static_cast<int>(gen() % 4000) - 2000;
            if (std::fabs(x) > 3000 || std::fabs(y) > 3000) x = 300, y = 256;
            h.platform.setCanvasMouse(static_cast<int>(x), static_cast<int>(y));
            if (f % clickEvery == clickEvery - 1) h.press(kCanvasId, static_cast<int>(gen() % 2));
            h.program.frameLoop().pass();
            if (f % 5000 == 0) expectTablesSound(h.program);
        }
        expectTablesSound(h.program);
        EXPECT_EQ(h.program.modeOn(), run.mode);
        total += run.frames;
    }
    RecordProperty("frames", static_cast<int>(total));
}

} // namespace
} // namespace tambrel
