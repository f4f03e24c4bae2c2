// SPDX-License-Identifier: MIT
#include "app/pass_pauses.h"
#include "modes/bouncy.h"
#include "modes/fireworks.h"
#include "modes/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace tambrel {
namespace {

using test::Harness;

void expectIdle(Harness& h)
{
    EXPECT_EQ(h.program.modeOn(), -1);
    EXPECT_EQ(h.view.title, "Tambrel");
    for (const ModeInfo& info : kModeTable) {
        EXPECT_EQ(h.view.buttons[info.buttonId].caption, info.offCaption);
        EXPECT_NE(h.view.buttons[info.buttonId].font, ButtonFont::Bold);
    }
}

void expectOn(Harness& h, int index)
{
    const ModeInfo& on = kModeTable[static_cast<size_t>(index)];
    EXPECT_EQ(h.program.modeOn(), index);
    EXPECT_EQ(h.view.title, on.title);
    for (int i = 0; i < kModeCount; ++i) {
        const ModeInfo& info = kModeTable[static_cast<size_t>(i)];
        EXPECT_EQ(h.program.mode(i).isOn, i == index);
        const auto& b = h.view.buttons[info.buttonId];
        EXPECT_EQ(b.caption, i == index ? on.onCaption : info.offCaption);
        EXPECT_EQ(b.font, i == index ? ButtonFont::Bold : ButtonFont::Normal);
    }
}

TEST(ModeTable, ListsFourteenModesInButtonOrder)
{
    std::set<std::string_view> words;
    std::set<int> clicks, steps;
    for (int i = 0; i < kModeCount; ++i) {
        const ModeInfo& m = kModeTable[static_cast<size_t>(i)];
        EXPECT_EQ(m.buttonId, kFirstModeButtonId + i);
        EXPECT_TRUE(words.insert(m.word).second) << m.word;
        EXPECT_TRUE(clicks.insert(m.clickOrder).second);
        if (m.stepOrder) {
            EXPECT_TRUE(steps.insert(m.stepOrder).second);
        }
        EXPECT_TRUE(m.offCaption.starts_with("Turn ") && m.offCaption.ends_with(" On"));
        EXPECT_EQ(std::string(m.onCaption), std::string(m.offCaption.substr(0, m.offCaption.size() - 2)) + "Off");
        EXPECT_TRUE(m.title.starts_with("Tambrel: "));
        EXPECT_NE(m.make, nullptr);
        EXPECT_EQ(modeIndexForWord(m.word), i);
    }
    EXPECT_EQ(clicks, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(steps.size(), 13u);
    EXPECT_EQ(kModeTable[test::kClouds].stepOrder, 0) << "the cloud painter has no frame step";
    EXPECT_EQ(modeIndexForWord("nonsense"), -1);
}

TEST(Dispatch, StartUpShowsFinalCaptionsAndAWhiteCanvas)
{
    Harness h;
    expectIdle(h);
    for (auto& [id, b] : h.view.buttons) {
        EXPECT_TRUE(b.enabled) << id;
        EXPECT_FALSE(b.caption.starts_with("Button")) << "provisional caption left on " << id;
        EXPECT_EQ(b.font, ButtonFont::Dialog);
    }
    EXPECT_EQ(h.view.buttons.count(kEmptySlotId), 0u);
    EXPECT_EQ(h.view.buttons[kClearScreenId].caption, "Clear Screen");
    EXPECT_EQ(h.program.canvas.getPixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(h.program.canvas.penWidth(), 0);
    EXPECT_EQ(h.program.canvas.mix(), Mix::CopyPen);
}

TEST(Dispatch, ModeButtonsSwitchOneModeAtATime)
{
    Harness h;
    h.switchOn(test::kFireworks);
    expectOn(h, test::kFireworks);
    h.switchOn(test::kSnow); // another mode's button switches the first off
    expectOn(h, test::kSnow);
    h.switchOn(test::kSnow);
    expectIdle(h);
    EXPECT_EQ(h.program.canvas.getPixel(100, 100), 0xFFFFFF);

    h.switchOn(test::kBouncy);
    h.press(kModeTable[test::kBouncy].buttonId, kDoubleClicked); // second press of a double click
    expectIdle(h);
    h.press(kModeTable[test::kBouncy].buttonId, kClicked);
    h.press(kModeTable[test::kBouncy].buttonId, kDoubleClicked);
    expectIdle(h);
    h.press(kModeTable[test::kBouncy].buttonId, 5); // other notifications change nothing
    expectIdle(h);
    h.press(4242);
    expectIdle(h);
}

TEST(Dispatch, EveryModeSwitchesOnAndOff)
{
    Harness h;
    h.platform.setScreen(Image(800, 600, 0x336699));
    for (int i = 0; i < kModeCount; ++i) {
        h.switchOn(i);
        expectOn(h, i);
        h.passes(2);
        h.clickCanvas(200, 200);
        h.clickCanvas(200, 200, kDoubleClicked);
        EXPECT_EQ(h.program.modeOn(), i) << "a click reaction switches its own mode back on";
        h.passes(2);
    }
    h.switchOn(kModeCount - 1);
    expectIdle(h);
}

TEST(Dispatch, ClearScreenWhitensWithoutSwitching)
{
    Harness h;
    h.program.canvas.clearCanvas(0x123456);
    const int redraws = h.platform.redraws();
    h.press(kClearScreenId);
    EXPECT_EQ(h.program.canvas.getPixel(300, 300), 0xFFFFFF);
    EXPECT_EQ(h.platform.redraws(), redraws + 1);
    expectIdle(h);
    h.switchOn(test::kStars);
    h.passes(3);
    h.press(kClearScreenId, kDoubleClicked);
    EXPECT_EQ(h.program.canvas.getPixel(300, 300), 0xFFFFFF);
    expectOn(h, test::kStars);
    EXPECT_EQ(h.view.buttons[kClearScreenId].caption, "Clear Screen");
}

TEST(Dispatch, CanvasClicksReachOnlyTheModeThatIsOn)
{
    Harness h;
    const uint32_t before = h.program.rnd.state();
    h.clickCanvas(100, 100);
    EXPECT_EQ(h.program.rnd.state(), before) << "idle: no reaction";
    auto& stars = h.program.mode<StarsMode>(test::kStars);
    EXPECT_EQ(stars.s.starOriginX, 300);

    h.switchOn(test::kBouncy);
    auto& bouncy = h.program.mode<BouncyMode>(test::kBouncy);
    const double vy = bouncy.s.ballVy;
    h.clickCanvas(static_cast<int>(bouncy.s.ballX), 100);
    h.clickCanvas(static_cast<int>(bouncy.s.ballX), 100, kDoubleClicked);
    EXPECT_DOUBLE_EQ(bouncy.s.ballVy, vy - 6) << "a double click runs the reaction twice";
    h.clickCanvas(100, 100, 7);
    EXPECT_DOUBLE_EQ(bouncy.s.ballVy, vy - 6);
    EXPECT_EQ(stars.s.starOriginX, 300);

    h.switchOn(test::kStars);
    h.clickCanvas(123, 45);
    EXPECT_EQ(stars.s.starOriginX, 123);
    EXPECT_EQ(stars.s.starOriginY, 45);
}

TEST(Dispatch, WindowEvents)
{
    Harness h;
    EXPECT_EQ(h.program.onDialogEvent({DialogMessage::SetCursor, kCanvasId, 0, false}), 1);
    EXPECT_EQ(h.view.pointerShapes[kCanvasId], PointerShape::Hidden);
    EXPECT_EQ(h.program.onDialogEvent({DialogMessage::SetCursor, 1005, 0, false}), 1);
    EXPECT_EQ(h.view.pointerShapes[1005], PointerShape::Arrow);
    EXPECT_EQ(h.program.onDialogEvent({DialogMessage::SetCursor, kNoControl, 0, false}), 1);
    EXPECT_EQ(h.view.pointerShapes[kNoControl], PointerShape::Arrow);

    h.view.focus = 1009;
    h.program.onDialogEvent({DialogMessage::NcActivate, kNoControl, 0, false});
    h.view.focus = kNoControl;
    h.program.onDialogEvent({DialogMessage::NcActivate, kNoControl, 0, true});
    EXPECT_EQ(h.view.focus, 1009) << "re-activation gives the focus back";

    EXPECT_EQ(h.program.onDialogEvent({DialogMessage::InitDialog, kNoControl, 0, false}), 0);
    EXPECT_FALSE(h.program.exitRequested.load());
    EXPECT_EQ(h.program.onDialogEvent({DialogMessage::Destroy, kNoControl, 0, false}), 0);
    EXPECT_TRUE(h.program.exitRequested.load());
    EXPECT_TRUE(h.view.fontsReleased);
}

// The capture shows "Turn Capture Off" in bold while the screen is taken, and
// switches its flag on only afterwards.
class WatchingPlatform : public MemoryPlatform {
public:
    MemoryDialogView* view = nullptr;
    Program* program = nullptr;
    std::string captionDuringCapture;
    bool onDuringCapture = true;
    void pressPrintScreen() override
    {
        captionDuringCapture = view->buttons[1013].caption;
        onDuringCapture = program->mode(test::kCapture).isOn;
        MemoryPlatform::pressPrintScreen();
    }
};

TEST(Dispatch, CaptureCaptionComesBeforeTheCaptureAndTheFlagAfter)
{
    WatchingPlatform platform;
    MemoryDialogView view;
    Program program(platform, view);
    platform.view = &view;
    platform.program = &program;
    program.buildMainWindow();
    program.onDialogEvent({DialogMessage::Command, 1013, kClicked, false});
    EXPECT_EQ(platform.captionDuringCapture, "Turn Capture Off");
    EXPECT_FALSE(platform.onDuringCapture);
    EXPECT_TRUE(program.mode(test::kCapture).isOn) << "on even though no picture came";
    EXPECT_EQ(view.buttons[1013].font, ButtonFont::Bold);
    EXPECT_EQ(program.canvas.getPixel(10, 10), 0) << "black without a picture";
}

// The capture's waits hand events to the window, and a command among them
// (a posted click, a screen reader's press) waits until the capture's start
// has finished: never two modes on at once. A close among them drops the
// commands still waiting.
class ReenteringPlatform : public MemoryPlatform {
public:
    Program* program = nullptr;
    std::vector<DialogEvent> during; // delivered one per event wait
    void doEvents(int ms) override
    {
        MemoryPlatform::doEvents(ms);
        if (during.empty()) return;
        const DialogEvent e = during.front();
        during.erase(during.begin());
        program->onDialogEvent(e);
    }
};

TEST(Dispatch, ACommandDuringACommandWaitsItsTurn)
{
    for (bool closeToo : {false, true}) {
        ReenteringPlatform platform;
        MemoryDialogView view;
        Program program(platform, view);
        platform.program = &program;
        program.buildMainWindow();
        platform.setScreen(Image(700, 600, 0x123456));
        platform.during = {{DialogMessage::Command, 1005, kClicked, false}, {DialogMessage::Command, kCanvasId, kClicked, false}};
        if (closeToo) platform.during[1] = {DialogMessage::Destroy, kNoControl, 0, false};
        program.onDialogEvent({DialogMessage::Command, 1013, kClicked, false});
        if (closeToo) {
            EXPECT_EQ(program.modeOn(), test::kCapture) << "the waiting press was dropped with the close";
            EXPECT_EQ(program.canvas.getPixel(0, 0), 0x123456) << "the capture finished its start";
            continue;
        }
        EXPECT_EQ(program.modeOn(), test::kFireworks);
        EXPECT_EQ(view.title, "Tambrel: Fireworks animation");
        EXPECT_EQ(view.buttons[1013].caption, "Turn Capture On");
        EXPECT_NE(view.buttons[1013].font, ButtonFont::Bold);
        std::lock_guard lock(program.stateLock);
        EXPECT_GT(std::count_if(program.mode<FireworksMode>(test::kFireworks).s.sparks.begin(),
                                program.mode<FireworksMode>(test::kFireworks).s.sparks.end(),
                                [](const Spark& k) { return k.radius > 0; }),
                  0)
            << "the click after the press reached the fireworks";
    }
}

// A pause asked for on the window thread postpones the animation thread's
// next pass instead of holding the window.
TEST(PassPauses, AWindowThreadPauseDelaysTheNextPass)
{
    PassPauses pauses;
    const auto t0 = PassPauses::Clock::now();
    pauses.postpone(120);
    pauses.sleep(10);
    EXPECT_GE(PassPauses::Clock::now() - t0, std::chrono::milliseconds(120));
}

TEST(FrameLoop, RedrawsOnlyWhenAStepRan)
{
    Harness h;
    const int redraws = h.platform.redraws();
    h.passes(5);
    EXPECT_EQ(h.platform.redraws(), redraws) << "idle passes never redraw";
    h.switchOn(test::kClouds);
    const int afterSwitch = h.platform.redraws();
    h.passes(5);
    EXPECT_EQ(h.platform.redraws(), afterSwitch) << "the cloud painter has no step";
    h.switchOn(test::kBouncy);
    const int afterBouncy = h.platform.redraws();
    h.passes(5, 40, 50);
    EXPECT_EQ(h.platform.redraws(), afterBouncy + 5);
    EXPECT_EQ(h.program.frame.mouseX, 40);
    EXPECT_EQ(h.program.frame.mouseY, 50);
    EXPECT_EQ(h.platform.sleeps().back(), kPassPauseMs);
}

TEST(AnimationThread, ClosingWhileAnimatingAlwaysEndsTheThread)
{
    for (int round = 0; round < 40; ++round) {
        Harness h(static_cast<uint32_t>(round), /*realSleeps=*/true);
        ASSERT_TRUE(h.program.startAnimation());
        h.switchOn(round % kModeCount);
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 7));
        h.clickCanvas(100 + round, 100);
        h.program.onDialogEvent({DialogMessage::Destroy, kNoControl, 0, false});
        h.program.finish(); // returns: the thread saw exitRequested and ended
    }
}

} // namespace
} // namespace tambrel
