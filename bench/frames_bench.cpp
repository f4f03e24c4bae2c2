// SPDX-License-Identifier: MIT
// One frame of every mode in its heaviest state, and the heavy click
// reactions. Run: build/bench/tambrel_bench

#include "bench_support.h"
#include "gfx/numeric.h"
#include "modes/bumps.h"
#include "modes/capture.h"
#include "modes/drawing.h"
#include "modes/emitter.h"
#include "modes/fireworks.h"
#include "modes/gravity.h"
#include "modes/psyche.h"
#include "modes/snow.h"
#include "modes/stars.h"
#include "modes/whirl.h"

#include <benchmark/benchmark.h>

namespace tambrel::bench {
namespace {

// Runs frames of the mode that is on, the pointer circling slowly so that
// pointer-driven modes keep working.
void runFrames(benchmark::State& state, Fixture& f, int index)
{
    Mode& mode = f.program.mode(index);
    int n = 0;
    for (auto _ : state) {
        const int x = 300 + (n % 40) - 20, y = 256 + (n / 40 % 40) - 20;
        mode.stepFrame(x, y);
        ++n;
    }
    benchmark::DoNotOptimize(f.program.canvas.pixels()[1234]);
}

void BM_FramePsycheFourCornersWidth8(benchmark::State& state)
{
    Fixture f;
    PsycheMode& m = heavyPsyche(f);
    for (auto _ : state) m.stepFrame(590, 500);
}

// The same frame with the rings' sweep held to narrower vectors (bits).
void BM_FramePsycheAtVectorBits(benchmark::State& state)
{
    const int bits = static_cast<int>(state.range(0));
    if (bits > Canvas::widestVectorBits()) {
        state.SkipWithError("this processor has no such vectors");
        return;
    }
    Fixture f;
    PsycheMode& m = heavyPsyche(f);
    f.program.canvas.limitVectorBits(bits);
    for (auto _ : state) m.stepFrame(590, 500);
}

// The floor of a ring frame: the work no ring frame can avoid, a clear and
// one exclusive-or pass over every pixel.
void BM_FloorClearAndXorPass(benchmark::State& state)
{
    Canvas c;
    uint32_t k = 0x3366CC;
    for (auto _ : state) {
        c.clearCanvas(0xFFFFFF);
        uint32_t* d = &c.at(0, 0);
        for (int i = 0; i < Canvas::kWidth * Canvas::kHeight; ++i) d[i] ^= k;
        benchmark::DoNotOptimize(d);
        k ^= 0x10101;
    }
}

void BM_FrameGravity750Points(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kGravity);
    f.seedWhere([](Rnd& r) { return roundToInt(20 + 80 * r.next()) == 20; });
    f.click(1, 1);
    auto& m = f.program.mode<GravityMode>(kGravity);
    const GravityState fresh = m.s;
    int n = 0;
    for (auto _ : state) {
        if (++n % 200 == 0) m.s = fresh; // keep the mesh spread out
        m.stepFrame(300, 256);
    }
}

// The floor of that frame: a clear, and a store of each pixel it shows that
// differs from the background, in the surface's order.
void BM_FloorGravity750Points(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kGravity);
    f.seedWhere([](Rnd& r) { return roundToInt(20 + 80 * r.next()) == 20; });
    f.click(1, 1);
    f.program.mode(kGravity).stepFrame(300, 256);
    Canvas& c = f.program.canvas;
    const uint32_t background = c.at(0, 0);
    std::vector<std::pair<int, uint32_t>> shown;
    for (int i = 0; i < Canvas::kWidth * Canvas::kHeight; ++i)
        if (c.pixels()[i] != background) shown.emplace_back(i, c.pixels()[i]);
    for (auto _ : state) {
        c.clearCanvas(static_cast<int32_t>(background));
        uint32_t* d = &c.at(0, 0);
        for (auto [i, colour] : shown) d[i] = colour;
        benchmark::DoNotOptimize(d);
    }
    state.counters["pixels"] = static_cast<double>(shown.size());
}

void BM_FrameFireworks200Sparks(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kFireworks);
    auto& m = f.program.mode<FireworksMode>(kFireworks);
    for (int i = 0; i < kSparkSlots; ++i)
        m.s.sparks[static_cast<size_t>(i)] = Spark{30.0 + i * 2.7, 40.0 + i % 20 * 22, 0, 0, 0, 6.99, 1e-9};
    m.s.sparkColours.fill(0x2288EE);
    runFrames(state, f, kFireworks);
}

void BM_FrameEmitter200Particles(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kEmitter);
    auto& m = f.program.mode<EmitterMode>(kEmitter);
    for (int i = 0; i < kParticleSlots; ++i)
        m.s.emitterParticles[static_cast<size_t>(i)] = Particle{30.0 + i * 2.7, 40.0 + i % 20 * 22, 0, 0, 14.99, 1e-9};
    for (auto _ : state) {
        for (Particle& p : m.s.emitterParticles) p.vy = 0; // hover instead of falling away
        m.stepFrame(300, 256);
    }
}

void BM_FrameSnow200Flakes(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kSnow);
    auto& m = f.program.mode<SnowMode>(kSnow);
    for (int i = 0; i < kFlakeSlots; ++i) m.s.snowFlakes[static_cast<size_t>(i)] = Flake{i * 3.0, i % 25 * 20.0, 0, 0, 14.9};
    runFrames(state, f, kSnow);
}

void BM_FrameStars200EightSpokes(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kStars);
    auto& m = f.program.mode<StarsMode>(kStars);
    for (int i = 0; i < kStarSlots; ++i)
        m.s.starTable[static_cast<size_t>(i)] = Star{30.0 + i * 2.7, 40.0 + i % 20 * 22, 0, 0, 20, 7.9, 0, 3};
    for (auto _ : state) {
        for (Star& st : m.s.starTable) st.length = 20; // no growth: stay in the heaviest state
        m.stepFrame(300, 256);
    }
}

void BM_FrameBumps50Balls(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kBumps);
    f.seedWhere([](Rnd& r) { return roundToInt(10 + 40 * r.next()) == 50; });
    f.click(1, 1);
    runFrames(state, f, kBumps);
}

void BM_FrameWhirl50Swarm(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kWhirl);
    f.seedWhere([](Rnd& r) { return floorToInt(4 * r.next()) >= 2 && roundToInt(10 + 40 * r.next()) == 50; });
    f.click(1, 1);
    runFrames(state, f, kWhirl);
}

void BM_FrameShaderAtRest(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kShader);
    Mode& m = f.program.mode(kShader);
    for (auto _ : state) m.stepFrame(300, 256);
}

void BM_FrameCaptureSmear(benchmark::State& state)
{
    Fixture f;
    f.platform.setScreen(Image(1024, 768, 0x446688));
    f.switchOn(kCapture);
    runFrames(state, f, kCapture);
}

void BM_FrameFollower(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kFollower);
    runFrames(state, f, kFollower);
}

void BM_FrameBouncy(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kBouncy);
    runFrames(state, f, kBouncy);
}

void BM_FrameDrawingWidth26AcrossTheCanvas(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kDrawing);
    auto& m = f.program.mode<DrawingMode>(kDrawing);
    int n = 0;
    for (auto _ : state) {
        m.s.drawWidth = 26, m.s.drawTargetWidth = 26, m.s.drawWidthStep = 0.05;
        m.s.drawLastX = 0, m.s.drawLastY = 256;
        m.stepFrame(599, 256 + n++ % 3);
    }
}

void BM_ClickCloud(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kClouds);
    for (auto _ : state) f.click(5, 5);
}

// The floor of a cloud: its 2,450,550 random numbers (15 for each of the
// 163,370 subdivisions), and nothing else.
void BM_FloorCloudRandoms(benchmark::State& state)
{
    Rnd r;
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < 163370 * 15; ++i) sum += r.next();
        benchmark::DoNotOptimize(sum);
    }
}

// The floor of a scatter: two random numbers for each of its 594 x 506
// pixels and one copy of the surface.
void BM_FloorScatterRandomsAndCopy(benchmark::State& state)
{
    Rnd r;
    Canvas c;
    std::vector<uint32_t> copy(static_cast<size_t>(Canvas::kWidth) * Canvas::kHeight);
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < 594 * 506 * 2; ++i) sum += r.next();
        std::copy(c.pixels(), c.pixels() + copy.size(), copy.begin());
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_ClickCaptureScatter(benchmark::State& state)
{
    Fixture f;
    f.platform.setScreen(Image(1024, 768, 0x446688));
    f.switchOn(kCapture);
    for (auto _ : state) f.click(5, 5);
}

void BM_ClickBumps50BallScatter(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kBumps);
    uint32_t fifty = 0;
    f.seedWhere([&](Rnd& r) { return roundToInt(10 + 40 * r.next()) == 50; });
    fifty = f.program.rnd.state();
    for (auto _ : state) {
        f.program.rnd.setState(fifty);
        f.click(5, 5);
    }
}

void BM_ClickGravity750PointMesh(benchmark::State& state)
{
    Fixture f;
    f.switchOn(kGravity);
    f.seedWhere([](Rnd& r) { return roundToInt(20 + 80 * r.next()) == 20; });
    const uint32_t twenty = f.program.rnd.state();
    for (auto _ : state) {
        f.program.rnd.setState(twenty);
        f.click(5, 5);
    }
}

BENCHMARK(BM_FramePsycheFourCornersWidth8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FramePsycheAtVectorBits)->Arg(128)->Arg(256)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorClearAndXorPass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameGravity750Points)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorGravity750Points)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameFireworks200Sparks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameEmitter200Particles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameSnow200Flakes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameStars200EightSpokes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameBumps50Balls)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameWhirl50Swarm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameShaderAtRest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameCaptureSmear)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameFollower)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameBouncy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameDrawingWidth26AcrossTheCanvas)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClickCloud)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorCloudRandoms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClickCaptureScatter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorScatterRandomsAndCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClickBumps50BallScatter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClickGravity750PointMesh)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tambrel::bench
