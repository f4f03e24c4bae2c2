// SPDX-License-Identifier: MIT
// What recording costs: a whole pass with and without it, the recorder's own
// work for a pass, and the memory an hour of play takes.

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include "app/replay_control.h"

#include <chrono>
#include <random>
#include <thread>

namespace tambrel::bench {
namespace {

// The pointer wanders a little every pass and jumps now and then, as a hand does.
struct Hand {
    std::mt19937 gen{7};
    int x = 300, y = 256;
    void move(MemoryPlatform& p)
    {
        x += static_cast<int>(gen() % 7) - 3, y += static_cast<int>(gen() % 7) - 3;
        if (gen() % 500 == 0) x = static_cast<int>(gen() % 600), y = static_cast<int>(gen() % 512);
        p.setCanvasMouse(x, y);
    }
};

// A whole pass of the lightest drawing mode (the follower), recorded (1) or not (0).
void BM_PassFollower(benchmark::State& state)
{
    Fixture f;
    f.program.recorder().setEnabled(state.range(0) != 0);
    f.switchOn(kFollower);
    Hand hand;
    for (auto _ : state) {
        hand.move(f.platform);
        f.program.frameLoop().pass();
    }
}

// The recorder's own work for a pass: its record and its pointer reading.
void BM_RecordOnePass(benchmark::State& state)
{
    MemoryPlatform platform;
    SessionRecorder recorder(platform);
    recorder.begin(1);
    Hand hand;
    int x = 0, y = 0;
    for (auto _ : state) {
        hand.move(platform);
        recorder.passBegins();
        recorder.pointerClientPosition(x, y);
        recorder.passEnds();
    }
    benchmark::DoNotOptimize(x);
}

// An hour of play at 93 passes a second in the recorder, with a command
// every few seconds: what the log takes in memory and the size of its file.
void BM_HourOfPlay(benchmark::State& state)
{
    constexpr int kPasses = 93 * 3600;
    for (auto _ : state) {
        MemoryPlatform platform;
        SessionRecorder recorder(platform);
        recorder.begin(1);
        Hand hand;
        int x = 0, y = 0;
        for (int pass = 0; pass < kPasses; ++pass) {
            hand.move(platform);
            recorder.passBegins();
            recorder.pointerClientPosition(x, y);
            recorder.passEnds();
            if (pass % 300 == 0) {
                recorder.commandBegins(kCanvasId, kClicked);
                recorder.pointerClientPosition(x, y);
                recorder.groupEnds();
            }
        }
        state.counters["memory_KiB"] = static_cast<double>(recorder.log().memoryBytes()) / 1024;
        state.counters["file_KiB"] = static_cast<double>(recorder.file().size()) / 1024;
        state.counters["records_KiB"] = static_cast<double>(recorder.log().appendedBytes()) / 1024;
    }
}

// A replay's seeks: a session of range(0) minutes of one mode (range(1):
// psyche 0, the capture 1, whose copies are the largest) at 93 passes a
// second with a click every 10 s; how fast the copies catch up on their
// thread (session seconds per second), what they take in memory, and a
// seek to the end once they have.
void BM_ReplaySeek(benchmark::State& state)
{
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    Fixture f;
    uint32_t now = 0;
    f.program.recorder().setClock([&] { return now; });
    f.program.buildMainWindow();
    f.platform.setScreen(Image(640, 480, 0x336699));
    f.switchOn(state.range(1) ? kCapture : kPsyche);
    Hand hand;
    for (int pass = 0; now < minutes * 60'000; ++pass, now += 1000 / 93) {
        hand.move(f.platform);
        f.program.frameLoop().pass();
        if (pass % 930 == 0) f.click(hand.x, hand.y);
    }
    Session session;
    std::string error;
    if (!readSession(f.program.sessionFile(), session, error)) return state.SkipWithError(error.c_str());
    for (auto _ : state) {
        MemoryPlatform platform;
        MemoryDialogView view;
        Program program(platform, view);
        const auto t0 = std::chrono::steady_clock::now();
        ReplayControl control(program, session, "bench", true);
        control.start(0, 0);
        while (!control.copies().done()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto t1 = std::chrono::steady_clock::now();
        control.seek(session.durationMs, 0);
        control.settle(0);
        const auto t2 = std::chrono::steady_clock::now();
        const double catchUp = std::chrono::duration<double>(t1 - t0).count();
        state.counters["session_s_per_s"] = session.durationMs / 1000.0 / catchUp;
        state.counters["seek_to_end_ms"] = std::chrono::duration<double, std::milli>(t2 - t1).count();
        state.counters["copies"] = static_cast<double>(control.copies().count());
        state.counters["copy_every_s"] = control.copies().everyMs() / 1000.0;
        state.counters["copies_MiB"] = static_cast<double>(control.copies().memoryBytes()) / (1 << 20);
    }
}

} // namespace

BENCHMARK(BM_ReplaySeek)->Args({10, 0})->Args({60, 1})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PassFollower)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordOnePass)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_HourOfPlay)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace tambrel::bench
