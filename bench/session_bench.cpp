// SPDX-License-Identifier: MIT
// What recording costs: a whole pass with and without it, the recorder's own
// work for a pass, and the memory an hour of play takes.

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <random>

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

} // namespace

BENCHMARK(BM_PassFollower)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordOnePass)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_HourOfPlay)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace tambrel::bench
