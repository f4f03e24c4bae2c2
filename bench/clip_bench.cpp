// SPDX-License-Identifier: MIT
// What a clip costs to make: a 10-second psyche clip and a 10-second clouds
// clip in each format, rendered again from their sessions and encoded, in
// frames a second; and what the checkpoints a clip starts from take.

#include "app/clip.h"
#include "bench_support.h"
#include "video/clip_encoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace tambrel::bench {
namespace {

constexpr uint32_t kPassMs = 10;

// A 10-second session: psyche rings with the pointer moving, or a new cloud
// every tenth of a second.
Session tenSeconds(bool clouds)
{
    Fixture f;
    uint32_t now = 0;
    f.program.recorder().setClock([&now] { return now; });
    f.program.buildMainWindow();
    f.switchOn(clouds ? kClouds : kPsyche);
    if (!clouds) f.click(300, 256); // rings from a click, as the session holds them
    for (int pass = 0; pass < 1000; ++pass, now += kPassMs) {
        if (clouds && pass % 10 == 0) f.click(300, 256);
        f.platform.setCanvasMouse(590 - pass % 40, 500);
        f.program.frameLoop().pass();
    }
    Session s;
    std::string error;
    f.program.currentSession(s, error);
    return s;
}

struct Counting : FrameSink {
    FrameSink& to;
    int frames = 0;
    explicit Counting(FrameSink& sink) : to(sink) {}
    bool frame(const uint32_t* p, uint32_t a, uint32_t b) override { return ++frames, to.frame(p, a, b); }
};

void BM_Export(benchmark::State& state, bool clouds, ClipFormat format, const char* extension)
{
    const Session session = tenSeconds(clouds);
    const std::string file = std::string("/tmp/tambrel-bench-clip") + extension;
    int frames = 0;
    for (auto _ : state) {
        std::string error;
        auto encoder = ClipEncoder::open(file, format, 10000, error);
        Counting sink(*encoder);
        if (!renderClip(session, {0, 10000}, sink, error) || !encoder->finish(error)) state.SkipWithError(error.c_str());
        frames = sink.frames;
    }
    state.counters["frames"] = frames;
    state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(file.c_str());
}

// The checkpoints of the heaviest state a run keeps for its clips.
void BM_CheckpointsMemory(benchmark::State& state)
{
    Fixture f;
    uint32_t now = 0;
    f.program.recorder().setClock([&now] { return now; });
    f.program.buildMainWindow();
    f.switchOn(kCapture); // the capture's buffer exists
    heavyPsyche(f);
    for (auto _ : state) {
        for (int pass = 0; pass < 5000; ++pass, now += kPassMs) f.program.frameLoop().pass();
    }
    state.counters["checkpoints_MiB"] = static_cast<double>(f.program.checkpoints().memoryBytes()) / (1 << 20);
}

} // namespace

BENCHMARK_CAPTURE(BM_Export, psyche_webp, false, ClipFormat::WebP, ".webp")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Export, psyche_gif, false, ClipFormat::Gif, ".gif")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Export, psyche_mp4, false, ClipFormat::Mp4, ".mp4")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Export, clouds_webp, true, ClipFormat::WebP, ".webp")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Export, clouds_gif, true, ClipFormat::Gif, ".gif")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_Export, clouds_mp4, true, ClipFormat::Mp4, ".mp4")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_CheckpointsMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace tambrel::bench
