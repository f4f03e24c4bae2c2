// Frame costs of the heaviest drawing the modes do. Run: build/bench/tambrel_bench

#include "app/program.h"
#include "gfx/memory_platform.h"
#include "modes/psyche.h"

#include <benchmark/benchmark.h>

namespace tambrel {
namespace {

// Psychedelic rings: four centres near the corners, width 8, 57 rings each.
void BM_PsycheFrameFourCornersWidth8(benchmark::State& state)
{
    MemoryPlatform platform;
    MemoryDialogView view;
    Program program(platform, view);
    program.rnd.setState(1);
    program.buildMainWindow();
    auto& psyche = static_cast<PsycheMode&>(program.mode(13));
    psyche.s.psycheCount = 4;
    psyche.s.psycheSources = {{10, 10, 8, 0}, {590, 10, 8, 3}, {10, 500, 8, -2}, {590, 500, 8, 5}};
    psyche.s.psycheColours.assign(4, 0x3366CC);
    psyche.isOn = true;
    for (auto _ : state) psyche.stepFrame(590, 500);
    benchmark::DoNotOptimize(program.canvas.pixels()[1000]);
}
BENCHMARK(BM_PsycheFrameFourCornersWidth8)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tambrel
