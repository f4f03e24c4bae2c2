// SPDX-License-Identifier: MIT
// The psyche frame of the benchmark (four centres near the corners, width 8,
// 228 rings) in WebAssembly, for tools/web/bench.mjs to time in a browser
// next to the native figure.

#include "bench_support.h"
#include "modes/psyche.h"

#include <emscripten/emscripten.h>

#include <memory>

namespace {
std::unique_ptr<tambrel::bench::Fixture> fixture;
std::vector<uint32_t> rgba;
} // namespace

extern "C" {

// Milliseconds per frame over `frames` frames.
EMSCRIPTEN_KEEPALIVE double tambrel_bench_psyche(int frames)
{
    using namespace tambrel;
    if (!fixture) {
        fixture = std::make_unique<bench::Fixture>();
        fixture->switchOn(bench::kPsyche);
        auto& m = fixture->program.mode<PsycheMode>(bench::kPsyche);
        m.s.psycheCount = 4;
        m.s.psycheSources = {{10, 10, 8, 0}, {590, 10, 8, 3}, {10, 500, 8, -2}, {590, 500, 8, 5}};
        m.s.psycheColours.assign(4, 0x3366CC);
    }
    Mode& m = fixture->program.mode(bench::kPsyche);
    const double t0 = emscripten_get_now();
    for (int i = 0; i < frames; ++i) m.stepFrame(590, 500);
    return (emscripten_get_now() - t0) / frames;
}

// The surface as the page's ImageData wants it, as the web edition hands it over.
EMSCRIPTEN_KEEPALIVE const uint32_t* tambrel_bench_rgba()
{
    const uint32_t* p = fixture->program.canvas.pixels();
    rgba.resize(static_cast<size_t>(tambrel::Canvas::kWidth) * tambrel::Canvas::kHeight);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = p[i] | 0xFF000000u;
    return rgba.data();
}
}
