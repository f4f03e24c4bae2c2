// SPDX-License-Identifier: MIT
// Sessions: what a run records replays to the same run, bit for bit, and a
// reader refuses every file that is not a session it can replay.

#include "app/autopilot.h"
#include "app/clip.h"
#include "app/replay.h"
#include "app/replay_control.h"
#include "app/session.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <random>
#include <set>
#include <string_view>
#include <tuple>
#include <thread>

#include <zlib.h>

namespace tambrel {
namespace {

// Pauses shortened fifty-fold, so that many events fit in a test.
class QuickPlatform : public MemoryPlatform {
public:
    void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::microseconds(ms * 20)); }
};

Session read(const std::vector<uint8_t>& file)
{
    Session s;
    std::string error;
    EXPECT_TRUE(readSession(file, s, error)) << error;
    return s;
}

// The whole observable state of a program: every pixel, the generator, which
// mode is on, the capture's buffer and the window's words.
struct Snapshot {
    std::vector<uint32_t> pixels;
    uint32_t rnd = 0;
    int modeOn = -1;
    std::vector<int32_t> buffer;
    std::string title;
    std::map<int, MemoryDialogView::Button> buttons;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(Program& p, MemoryDialogView& view)
{
    std::lock_guard lock(p.stateLock);
    Snapshot s;
    s.pixels.assign(p.canvas.pixels(), p.canvas.pixels() + Canvas::kWidth * Canvas::kHeight);
    s.rnd = p.rnd.state();
    s.modeOn = p.modeOn();
    if (p.pixelBuffer.exists())
        for (int x = 0; x < PixelBuffer::kWidth; x += 7)
            for (int y = 0; y < PixelBuffer::kHeight; y += 3) s.buffer.push_back(p.pixelBuffer.at(x, y));
    s.title = view.title;
    s.buttons = view.buttons;
    return s;
}

// The records before the end mark (whose time is when the session was taken).
std::vector<uint8_t> beforeTheEnd(const std::vector<uint8_t>& records)
{
    RecordCursor cursor(records);
    Record r;
    std::string error;
    size_t at = 0;
    while (cursor.next(r, error) && r.tag != RecordTag::End) at = cursor.offset();
    return {records.begin(), records.begin() + static_cast<long>(at)};
}

struct Replayed {
    MemoryPlatform platform; // no screen: every picture must come from the session
    MemoryDialogView view;
    Program program{platform, view};
};

// Replays `file` in a fresh program to its end.
void replayAll(Replayed& r, const std::vector<uint8_t>& file)
{
    SessionReplay replay(r.program, read(file));
    replay.begin();
    SessionReplay::Step step;
    while ((step = replay.step()) == SessionReplay::Step::Ran) {
    }
    ASSERT_EQ(step, SessionReplay::Step::Ended) << replay.error();
}

// The storm of random events against the running animation thread, the
// capture's screen pictures among them, recorded; replayed in a fresh
// program with no screen of its own, it ends in the same state, and its
// own recording of the replay is the same session.
TEST(Session, AStormAgainstTheRunningThreadReplaysBitForBit)
{
    uint64_t passes = 0, commands = 0, pictures = 0;
    for (uint32_t round = 0; round < 6; ++round) {
        QuickPlatform platform;
        platform.setScreen(Image(700 + round * 50, 500 + round * 30, 0x224466 + round));
        MemoryDialogView view;
        Program program(platform, view);
        program.rnd.setState(round * 7919u + 1);
        program.buildMainWindow();
        ASSERT_TRUE(program.startAnimation());
        std::mt19937 gen(round);
        for (int e = 0; e < 150; ++e) {
            platform.setPointer(static_cast<int>(gen() % 700) - 50, static_cast<int>(gen() % 600) - 50);
            if (gen() % 40 == 0) platform.setPointer(gen() % 2 ? INT_MAX : INT_MIN, static_cast<int>(gen()));
            const int kind = static_cast<int>(gen() % 10);
            if (kind < 3)
                program.onDialogEvent({DialogMessage::Command, kFirstModeButtonId + static_cast<int>(gen() % 14),
                                       static_cast<int>(gen() % 3), false});
            else if (kind < 7)
                program.onDialogEvent({DialogMessage::Command, kCanvasId, static_cast<int>(gen() % 3), false});
            else if (kind == 7)
                program.onDialogEvent({DialogMessage::Command, kClearScreenId, 0, false});
            else
                std::this_thread::sleep_for(std::chrono::microseconds(gen() % 4000)); // frames run
        }
        program.onDialogEvent({DialogMessage::Destroy, kNoControl, 0, false});
        program.finish();
        const std::vector<uint8_t> file = program.sessionFile();
        const Snapshot live = snapshot(program, view);

        Replayed r;
        ASSERT_NO_FATAL_FAILURE(replayAll(r, file));
        EXPECT_TRUE(snapshot(r.program, r.view) == live) << "round " << round;
        const Session session = read(file);
        EXPECT_EQ(beforeTheEnd(r.program.sessionRecords()), beforeTheEnd(session.records)) << "the replay recorded itself anew";
        passes += session.passes, commands += session.commands, pictures += session.pictures;
    }
    EXPECT_GT(passes, 300u);
    EXPECT_GT(commands, 200u);
    EXPECT_GT(pictures, 3u);
}

// A take-over: half a session replayed, then the user's own input; the
// session saved afterwards holds the whole story and replays to its end.
TEST(Session, ATakeOverGoesOnRecordingTheWholeStory)
{
    test::Harness first(99);
    first.platform.setScreen(Image(64, 48, 0x102030));
    first.switchOn(test::kBumps);
    first.clickCanvas(200, 200);
    first.passes(40, 250, 260);
    first.switchOn(test::kCapture); // the picture goes into the session
    first.passes(10);
    const std::vector<uint8_t> original = first.program.sessionFile();
    const Session session = read(original);
    ASSERT_EQ(session.passes, 50u);
    ASSERT_TRUE(session.header.holdsScreenPictures);

    Replayed taker;
    SessionReplay replay(taker.program, session);
    replay.begin();
    // At a window's pace no look runs more than its share of steps.
    ASSERT_EQ(replay.playUntil(UINT32_MAX, 30), SessionReplay::Step::Ran) << replay.error();
    EXPECT_LE(replay.passesRun(), 30u);
    ASSERT_EQ(replay.runUntilPass(45), SessionReplay::Step::Ran) << replay.error();
    replay.finish(); // the user takes over five passes before the end
    taker.platform.setCanvasMouse(100, 90);
    taker.program.onDialogEvent({DialogMessage::Command, 1015, kClicked, false});
    taker.program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
    for (int i = 0; i < 7; ++i) taker.program.frameLoop().pass();
    const std::vector<uint8_t> story = taker.program.sessionFile();
    EXPECT_EQ(read(story).passes, 52u);

    Replayed again;
    ASSERT_NO_FATAL_FAILURE(replayAll(again, story));
    EXPECT_TRUE(snapshot(again.program, again.view) == snapshot(taker.program, taker.view));
}

// A clip's pictures, as hashes with their spans.
struct Frames : FrameSink {
    std::vector<std::tuple<size_t, uint32_t, uint32_t>> got;
    bool frame(const uint32_t* pixels, uint32_t fromMs, uint32_t untilMs) override
    {
        got.emplace_back(std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(pixels),
                                                                         size_t{Canvas::kWidth} * Canvas::kHeight * 4)),
                         fromMs, untilMs);
        return true;
    }
};

// The last seconds of a run, rendered again from the newest checkpoint
// before them, are the same pictures at the same times as rendered from the
// start; the last one is what the window shows now.
// Twelve rounds of six modes over about 48 s of session time (`now`, the
// recorder's clock), the capture's picture among them.
Session mixedRun(test::Harness& h, uint32_t& now)
{
    h.program.recorder().setClock([&] { return now; });
    h.program.buildMainWindow(); // begins anew, on this clock
    h.platform.setScreen(Image(90, 70, 0x445566));
    auto run = [&](int passes, int x, int y) {
        for (int i = 0; i < passes; ++i, now += 11) h.passes(1, x + i % 40, y);
    };
    const int modes[] = {test::kFireworks, test::kBumps, test::kCapture, test::kShader, test::kPsyche, test::kClouds};
    for (int round = 0; round < 12; ++round) {
        h.switchOn(modes[round % 6]);
        h.clickCanvas(200 + round, 150);
        run(300, 100 + round * 20, 200);
        now += 700; // the pointer rests, nothing on the screen changes
    }
    return read(h.program.sessionFile());
}

TEST(Clip, FromACheckpointTheSameAsFromTheStart)
{
    test::Harness h(2024);
    uint32_t now = 0;
    const Session session = mixedRun(h, now);
    ASSERT_GT(session.durationMs, 40000u);
    const ClipSpan span{session.durationMs - 10000, now};
    Frames whole, fromCheckpoint;
    std::string error;
    ASSERT_TRUE(renderClip(session, span, whole, error)) << error;
    ProgramState state;
    RecordMark mark;
    uint32_t taken = 0;
    ASSERT_TRUE(h.program.copyCheckpoint(span.fromMs, state, mark, taken));
    EXPECT_GT(taken, span.fromMs - Checkpoints::kEveryMs - 1000) << "a checkpoint shortly before the clip";
    ASSERT_TRUE(renderClip(session, span, fromCheckpoint, error, &state, &mark)) << error;
    EXPECT_EQ(whole.got, fromCheckpoint.got);
    // A picture at a time, as the web page makes it: each Frame hands over
    // exactly one, the last one included, and then it is Done.
    ClipRun stepwise(session, span, &state, &mark);
    Frames one;
    for (ClipRun::Next n = ClipRun::Next::Before; n != ClipRun::Next::Done;) {
        const size_t before = one.got.size();
        n = stepwise.next(one);
        ASSERT_NE(n, ClipRun::Next::Failed) << stepwise.error();
        ASSERT_EQ(one.got.size() - before, n == ClipRun::Next::Frame ? 1u : 0u);
    }
    EXPECT_EQ(one.got, whole.got);
    EXPECT_EQ(stepwise.progress(), 1.0);
    ASSERT_GT(whole.got.size(), 100u);
    EXPECT_EQ(std::get<1>(whole.got.front()), 0u);
    EXPECT_EQ(std::get<2>(whole.got.back()), span.toMs - span.fromMs);
    for (size_t i = 1; i < whole.got.size(); ++i)
        EXPECT_EQ(std::get<1>(whole.got[i]), std::get<2>(whole.got[i - 1])) << "frame " << i << " follows on";
    Frames now1;
    now1.frame(h.program.canvas.pixels(), 0, 1);
    EXPECT_EQ(std::get<0>(whole.got.back()), std::get<0>(now1.got.front())) << "the last picture is the window's";
    EXPECT_LE(h.program.checkpoints().memoryBytes(), Checkpoints::kKept * (4u << 20));
}

// A replay steered as a user steers it: every seek, forwards and backwards,
// from a copy or from where it stands, lands on exactly the state the
// session had then (the renderer's --until-ms), window words included;
// pause holds the picture and 8x plays eight times as fast; a take-over
// after a seek goes on recording the whole story.
TEST(Replay, ASeekLandsOnTheStateTheSessionHadThen)
{
    test::Harness h(31);
    uint32_t now = 0;
    const Session session = mixedRun(h, now);
    Replayed watcher;
    ReplayControl control(watcher.program, session, "mixed.tambrel", false);
    control.start(0, 0);
    EXPECT_EQ(control.switches().size(), 12u);
    EXPECT_EQ(control.durationMs(), session.durationMs);
    for (int slices = 0; !control.copies().done() && slices < 10000; ++slices) control.buildCopies(50);
    ASSERT_TRUE(control.copies().done());
    EXPECT_EQ(control.copiesReachMs(), session.durationMs);
    EXPECT_GE(control.copies().count(), session.durationMs / ReplayCopies::kFirstEveryMs);

    const uint32_t switchAt = control.switches()[7];
    for (const uint32_t to : {25'000u, 3'000u, 3'001u, switchAt, switchAt - 1, 0u, 47'000u, 12'345u, session.durationMs}) {
        control.seek(to, 0);
        ASSERT_EQ(control.settle(0), SessionReplay::Step::Ran) << control.error();
        EXPECT_EQ(control.positionMs(), to);
        Replayed reference;
        SessionReplay replay(reference.program, session);
        replay.begin();
        replay.runUntilTime(to);
        EXPECT_TRUE(snapshot(watcher.program, watcher.view) == snapshot(reference.program, reference.view)) << "at " << to;
    }

    // Seeks away from the window: the picture holds while one is on its way,
    // a newer one takes its place, and a seek by a step counts from where
    // the replay is going.
    const auto sameAsAt = [&](uint32_t to) {
        Replayed reference;
        SessionReplay replay(reference.program, session);
        replay.begin();
        replay.runUntilTime(to);
        return snapshot(watcher.program, watcher.view) == snapshot(reference.program, reference.view);
    };
    const Snapshot before = snapshot(watcher.program, watcher.view);
    const uint32_t beforeMs = control.positionMs();
    control.seek(47'000, 500);
    control.seek(9'000, 500);
    control.seekBy(5'000, 500);
    EXPECT_TRUE(control.seeking());
    EXPECT_EQ(control.shownMs(), 14'000u);
    EXPECT_EQ(control.positionMs(), beforeMs);
    EXPECT_TRUE(snapshot(watcher.program, watcher.view) == before) << "the picture holds until the seek lands";
    ASSERT_EQ(control.settle(500), SessionReplay::Step::Ran);
    EXPECT_FALSE(control.seeking());
    EXPECT_EQ(control.positionMs(), 14'000u);
    EXPECT_TRUE(sameAsAt(14'000)) << "the newest seek wins";
    EXPECT_EQ(read(watcher.program.sessionFile()).durationMs, 14'000u) << "saved here, the session ends on the picture shown";

    // As fast as it goes, the time shown is that of the picture shown.
    control.setSpeed(ReplayControl::kFastest, 500);
    control.tick(501);
    control.setPaused(true, 502);
    EXPECT_GT(control.positionMs(), 14'000u);
    EXPECT_TRUE(sameAsAt(control.positionMs())) << "at " << control.positionMs();
    control.setPaused(false, 502);
    control.setSpeed(1, 502);

    control.seek(20'000, 1000);
    ASSERT_EQ(control.settle(1000), SessionReplay::Step::Ran);
    control.setPaused(true, 1000);
    const Snapshot held = snapshot(watcher.program, watcher.view);
    control.tick(3000);
    EXPECT_EQ(control.positionMs(), 20'000u);
    EXPECT_TRUE(snapshot(watcher.program, watcher.view) == held) << "paused, the picture holds";
    control.setSpeed(8, 3000);
    control.setPaused(false, 3000);
    control.tick(3250);
    EXPECT_EQ(control.positionMs(), 22'000u) << "a quarter of a second at 8x";

    control.seek(40'000, 3250); // taken over before it lands: it lands nowhere
    EXPECT_TRUE(control.seeking());
    control.finish(); // taken over
    EXPECT_FALSE(control.seeking());
    EXPECT_EQ(control.positionMs(), 22'000u);
    watcher.platform.setCanvasMouse(100, 90);
    watcher.program.onDialogEvent({DialogMessage::Command, 1015, kClicked, false});
    watcher.program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
    for (int i = 0; i < 7; ++i) watcher.program.frameLoop().pass();
    Replayed again;
    ASSERT_NO_FATAL_FAILURE(replayAll(again, watcher.program.sessionFile()));
    EXPECT_TRUE(snapshot(again.program, again.view) == snapshot(watcher.program, watcher.view));
}

// A stretch in which nothing was drawn is no clip: refused with its reason,
// whether no mode was on or one was switched on and off again before drawing.
TEST(Clip, OfAWhiteCanvasIsRefused)
{
    test::Harness h(7);
    uint32_t now = 0;
    h.program.recorder().setClock([&] { return now; });
    h.program.buildMainWindow();
    for (int i = 0; i < 50; ++i, now += 10) h.passes(1);
    h.switchOn(test::kPsyche);
    h.switchOn(test::kPsyche); // off again before its first pass
    for (int i = 0; i < 50; ++i, now += 10) h.passes(1);
    const Session session = read(h.program.sessionFile());
    Frames frames;
    std::string error;
    EXPECT_FALSE(renderClip(session, {0, session.durationMs}, frames, error));
    EXPECT_NE(error.find("nothing is on the canvas"), std::string::npos) << error;
}

// The hand that plays by itself: each seed its own order of the modes, all
// of them played (Capture only when asked), clicks among its moves, the
// pointer on the canvas, and what it played replays bit for bit as a
// person's session.
TEST(Autopilot, PlaysEveryModeInItsOwnOrderAndReplaysBitForBit)
{
    std::set<std::vector<int>> orders;
    // A choice of modes (snow, clouds and capture here) is played alone, Capture included when chosen.
    constexpr uint32_t kChosen = 1u << test::kSnow | 1u << test::kClouds | 1u << test::kCapture;
    for (const auto& [seed, capture, modes] : {std::tuple{1u, false, 0u}, {77u, false, 0u}, {77u, true, 0u}, {5u, false, kChosen}}) {
        test::Harness h;
        uint32_t now = 0;
        h.program.recorder().setClock([&] { return now; });
        h.program.rnd.setState(seed);
        h.program.buildMainWindow();
        h.platform.setScreen(Image(90, 70, 0x445566));
        Autopilot pilot({seed, 3, capture, modes});
        std::set<int> played;
        int clicks = 0;
        uint32_t waitingSince = UINT32_MAX;
        for (; now < 45'000; now += 10) {
            const Autopilot::Move move = pilot.next(now);
            ASSERT_TRUE(move.x >= 0 && move.x < 600 && move.y >= 0 && move.y < 512) << move.x << "," << move.y;
            h.platform.setCanvasMouse(move.x, move.y);
            giveMove(h.program, move);
            clicks += move.click;
            h.program.frameLoop().pass();
            played.insert(h.program.modeOn());
            // Psyche and Clouds show nothing before a click: the hand gives one at once.
            waitingSince = h.program.waitingForClick() ? std::min(waitingSince, now) : UINT32_MAX;
            ASSERT_LT(now - std::min(waitingSince, now), 1000u) << "mode " << h.program.modeOn() << " left waiting for a click";
        }
        EXPECT_EQ(played.size(), modes ? 3u : capture ? 14u : 13u) << "seed " << seed;
        EXPECT_EQ(played.count(test::kCapture), capture || modes ? 1u : 0u);
        if (modes) {
            EXPECT_EQ(played, (std::set<int>{test::kSnow, test::kClouds, test::kCapture}));
        }
        EXPECT_GT(clicks, 5);
        orders.insert(pilot.order());

        Replayed again;
        ASSERT_NO_FATAL_FAILURE(replayAll(again, h.program.sessionFile()));
        EXPECT_TRUE(snapshot(again.program, again.view) == snapshot(h.program, h.view)) << "seed " << seed;
    }
    EXPECT_EQ(orders.size(), 4u) << "each seed its own order";
}

// A session that asks of the program what it does not do is stopped at the
// first difference, with the state up to there kept.
TEST(Session, AReplayThatNoLongerMatchesStopsWithItsReason)
{
    struct Case {
        const char* name;
        void (*write)(RecordWriter&);
        const char* reason;
        uint64_t passesRun;
    };
    const Case cases[] = {
        {"a capture without its picture", [](RecordWriter& w) { w.command(1013, 0, 5); }, "asks for a screen picture", 1},
        {"a pass without its pointer reading", [](RecordWriter& w) { w.pass(10); }, "reads the pointer", 2},
        {"a button press with a reading it never makes",
         [](RecordWriter& w) {
             w.command(1003, 0, 1);
             w.pointer(4, 4);
         },
         "more readings", 1},
    };
    for (const Case& k : cases) {
        std::vector<uint8_t> records;
        RecordWriter w(records);
        w.pass(1);
        w.pointer(100, 100);
        k.write(w);
        w.end(20);
        Session s;
        s.header.seed = 7;
        std::string error;
        ASSERT_TRUE(checkRecords(records, s, error)) << k.name << ": " << error;
        Replayed r;
        SessionReplay replay(r.program, s);
        replay.begin();
        SessionReplay::Step step;
        while ((step = replay.step()) == SessionReplay::Step::Ran) {
        }
        EXPECT_EQ(step, SessionReplay::Step::Failed) << k.name;
        EXPECT_NE(replay.error().find(k.reason), std::string::npos) << k.name << ": " << replay.error();
        EXPECT_EQ(replay.passesRun(), k.passesRun) << k.name;
    }
}

// Random record streams written and read back: the same records, whatever
// the numbers (the pointer at the ends of the int range, long gaps, pictures
// of every size up to the limit).
TEST(SessionFormat, RandomSessionsRoundTrip)
{
    std::mt19937 gen(5);
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> records;
        RecordWriter w(records);
        struct Expect {
            RecordTag tag;
            int a = 0, b = 0;
            uint32_t t = 0;
        };
        std::vector<Expect> expected;
        uint32_t t = 0;
        const int n = static_cast<int>(gen() % 300);
        for (int i = 0; i < n; ++i) {
            t += gen() % 3 == 0 ? gen() % 100000 : gen() % 20;
            const bool pass = gen() % 3 != 0;
            const int id = 1001 + static_cast<int>(gen() % 17);
            if (pass || id == 1016) {
                w.pass(t);
                expected.push_back({RecordTag::Pass, 0, 0, t});
            } else {
                const int code = static_cast<int>(gen() % 2);
                w.command(id, code, t);
                expected.push_back({RecordTag::Command, id, code, t});
                if (id == 1013) {
                    const int pw = 1 + static_cast<int>(gen() % kMaxPictureWidth), ph = 1 + static_cast<int>(gen() % 40);
                    std::vector<uint8_t> rgb(static_cast<size_t>(pw) * ph * 3);
                    for (uint8_t& v : rgb) v = static_cast<uint8_t>(gen());
                    w.picture(pw, ph, rgb.data());
                    expected.push_back({RecordTag::Picture, pw, ph});
                }
            }
            for (int k = static_cast<int>(gen() % 3); k > 0; --k) {
                auto coordinate = [&] {
                    switch (gen() % 4) {
                    case 0: return gen() % 2 ? INT_MAX : INT_MIN;
                    default: return static_cast<int>(gen() % 2000) - 1000;
                    }
                };
                const int x = coordinate(), y = coordinate();
                w.pointer(x, y);
                expected.push_back({RecordTag::Pointer, x, y});
            }
        }
        w.end(t + 5);
        expected.push_back({RecordTag::End, 0, 0, t + 5});

        SessionHeader h;
        h.seed = gen();
        h.programVersion = "9.8.7";
        h.surfaceWidth = Canvas::kWidth, h.surfaceHeight = Canvas::kHeight;
        std::vector<uint8_t> file = encodeHeader(h);
        uLongf size = compressBound(records.size());
        std::vector<uint8_t> packed(size);
        ASSERT_EQ(compress2(packed.data(), &size, records.data(), records.size(), 9), Z_OK);
        file.insert(file.end(), packed.begin(), packed.begin() + static_cast<long>(size));

        const Session s = read(file);
        EXPECT_EQ(s.header.seed, h.seed);
        EXPECT_EQ(s.header.programVersion, "9.8.7");
        RecordCursor cursor(s.records);
        std::string error;
        for (const Expect& e : expected) {
            Record r;
            ASSERT_TRUE(cursor.next(r, error)) << error;
            ASSERT_EQ(r.tag, e.tag);
            const bool same = e.tag == RecordTag::Pass || e.tag == RecordTag::End ? r.timeMs == e.t
                              : e.tag == RecordTag::Command ? r.controlId == e.a && r.notifyCode == e.b && r.timeMs == e.t
                              : e.tag == RecordTag::Pointer ? r.x == e.a && r.y == e.b
                              : e.tag == RecordTag::Picture ? r.width == e.a && r.height == e.b
                                                            : true;
            EXPECT_TRUE(same) << "record " << cursor.index();
        }
    }
}

// Every file that is not a valid session is refused with one line that says
// where and why; none is replayed wrongly.
TEST(SessionFormat, TheReaderRefusesWhatIsNotAValidSession)
{
    test::Harness h(3);
    h.switchOn(test::kPsyche);
    h.clickCanvas(10, 10);
    h.passes(20);
    const std::vector<uint8_t> good = h.program.sessionFile();
    ASSERT_EQ(read(good).passes, 20u);

    auto refused = [](const std::vector<uint8_t>& file, const std::string& why) {
        Session s;
        std::string error;
        if (readSession(file, s, error)) return testing::AssertionFailure() << "accepted";
        if (error.find('\n') != std::string::npos) return testing::AssertionFailure() << "more than one line: " << error;
        if (error.find(why) == std::string::npos) return testing::AssertionFailure() << "reason: " << error;
        return testing::AssertionSuccess();
    };
    auto accepted = [](const std::vector<uint8_t>& file) {
        Session s;
        std::string error;
        return readSession(file, s, error);
    };
    for (size_t n = 0; n < good.size(); ++n) // cut short anywhere
        EXPECT_FALSE(accepted(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)))) << "cut at " << n;
    auto changed = [&](size_t at, uint8_t v) {
        std::vector<uint8_t> f = good;
        f[at] = v;
        return f;
    };
    EXPECT_TRUE(refused(changed(0, 'X'), "not a Tambrel session"));
    EXPECT_TRUE(refused(changed(8, 3), "format version 3"));
    EXPECT_TRUE(refused(changed(16, good[16] ^ 1), "the header is damaged")); // a bit of the seed
    EXPECT_TRUE(refused(changed(25, good[25] ^ 1), "the header is damaged")); // its check
    EXPECT_EQ(crc32(0, good.data(), 25), good[25] | good[26] << 8 | good[27] << 16 | uLong{good[28]} << 24) << "zlib's CRC-32";
    // Headers of their own before good records: the surface's, and version
    // 1's, which has no check and is still read.
    const SessionHeader goodHeader = read(good).header;
    auto headed = [&](SessionHeader header) {
        std::vector<uint8_t> f = encodeHeader(header);
        f.insert(f.end(), good.begin() + static_cast<long>(encodeHeader(goodHeader).size()), good.end());
        return f;
    };
    SessionHeader wide = goodHeader;
    wide.surfaceWidth = 641;
    EXPECT_TRUE(refused(headed(wide), "a 641 x 508 surface"));
    SessionHeader first = goodHeader;
    first.formatVersion = 1;
    ASSERT_EQ(headed(first).size(), good.size() - 4);
    EXPECT_EQ(read(headed(first)).passes, 20u) << "version 1 is still read";
    EXPECT_TRUE(refused(changed(good.size() - 2, good[good.size() - 2] ^ 0x55), "corrupt")); // its check sum
    for (size_t at = 30; at < good.size(); at += 3) // anywhere in the records: corrupt, or ending early
        EXPECT_FALSE(accepted(changed(at, good[at] ^ 0x55))) << at;
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    EXPECT_TRUE(refused(trailing, "bytes after the compressed records"));

    // Records out of order or beyond the limits, each packed as a file.
    auto file = [&](const std::vector<uint8_t>& records) {
        SessionHeader header;
        header.surfaceWidth = Canvas::kWidth, header.surfaceHeight = Canvas::kHeight;
        header.programVersion = "0.1.0";
        std::vector<uint8_t> f = encodeHeader(header);
        uLongf size = compressBound(records.size());
        std::vector<uint8_t> packed(size);
        compress2(packed.data(), &size, records.data(), records.size(), 6);
        f.insert(f.end(), packed.begin(), packed.begin() + static_cast<long>(size));
        return f;
    };
    const uint8_t pass = 1, command = 2, pointer = 3, picture = 4, none = 5, end = 0;
    struct Bad {
        std::vector<uint8_t> records;
        const char* why;
    };
    const Bad bad[] = {
        {{pointer, 2, 2, end, 0}, "before any pass or command"},
        {{pass, 0, none, end, 0}, "outside a command"},
        {{command, 0xF5, 0x07, 0, 0, none, none, end, 0}, "a second screen picture"},
        {{command, 0x80, 0x08, 0, 0, end, 0}, "control 1024"},
        {{command, 0xEA, 0x07, 2, 0, end, 0}, "notification 2"},
        {{pass, 0, 9, end, 0}, "unknown kind of record (9)"},
        {{pass, 0}, "end before their end mark"},
        {{pass, 0, pointer, 0x82, 0x01, 0, pass, 0, pointer, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, end, 0},
         "beyond the range of positions"},
        {{pass, 0, end, 0, pass, 0}, "after the end mark"},
        {{command, 0xF5, 0x07, 0, 0, picture, 0xD9, 0x04, 1, end, 0}, "601 x 1 pixels"},
        {{command, 0xF5, 0x07, 0, 0, picture, 2, 2, 1, 2, 3, end, 0}, "cut short"},
        {{pass, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, pass, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, end, 0}, "broken time"},
        {{pass, 0, pointer, 0xFE, 0xFF, 0xFF, 0xFF, 0x0F, 0, pointer, 2, 0, end, 0}, "beyond the range of positions"},
    };
    for (const Bad& b : bad) EXPECT_TRUE(refused(file(b.records), b.why)) << b.why;
    EXPECT_TRUE(accepted(file({command, 0xEF, 0x07, 0, 0, end, 0}))) << "while a press of button 1007 is fine";
    // More pointer readings in one pass than any pass makes.
    std::vector<uint8_t> many = {pass, 0};
    for (int i = 0; i <= kMaxReadingsPerRecord; ++i) many.insert(many.end(), {pointer, 0, 0});
    many.insert(many.end(), {end, 0});
    EXPECT_TRUE(refused(file(many), "more pointer readings"));

    // A stream that inflates beyond the limit is stopped at the limit.
    std::vector<uint8_t> zeros(1 << 20, 0);
    uLongf size = compressBound(zeros.size());
    std::vector<uint8_t> bomb(size);
    compress2(bomb.data(), &size, zeros.data(), zeros.size(), 9);
    bomb.resize(size);
    std::string error;
    bool ok = true;
    const std::vector<uint8_t> out = inflateRecords(bomb, 1 << 16, error, ok);
    EXPECT_FALSE(ok);
    EXPECT_LE(out.size(), size_t{1} << 16);
    EXPECT_NE(error.find("more than"), std::string::npos) << error;

}

} // namespace
} // namespace tambrel
