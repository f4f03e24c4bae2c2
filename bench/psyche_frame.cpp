// SPDX-License-Identifier: MIT
// The psyche frame of the benchmark (four centres near the corners, width 8,
// 228 rings) timed with a plain clock, for editions without Google
// Benchmark: the Windows one under Wine, next to the same file built natively.
//   psyche_frame [frames]   prints the median of five runs, in microseconds

#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    using namespace tambrel;
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    bench::Fixture f;
    PsycheMode& m = bench::heavyPsyche(f);
    for (int i = 0; i < 50; ++i) m.stepFrame(590, 500); // warm up
    double runs[5];
    for (double& r : runs) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) m.stepFrame(590, 500);
        r = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / frames;
    }
    std::sort(runs, runs + 5);
    std::printf("psyche frame: %.0f us\n", runs[2]);
    return 0;
}
