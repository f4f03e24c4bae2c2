// SPDX-License-Identifier: MIT
// The psyche frame of the benchmark (four centres near the corners, width 8,
// 228 rings) in WebAssembly, for tools/web/bench.mjs to time in a browser
// next to the native figure.

#include "bench_support.h"

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
        bench::heavyPsyche(*fixture);
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
