// SPDX-License-Identifier: MIT
// Fuzz target: the session reader and the replay. The first byte picks what
// the rest is: a whole session file (header and compressed records), or the
// records alone (so that the fuzzer reaches the record checks without
// having to get past the compression). Whatever the reader accepts is then
// replayed into a program, at most a few thousand steps, which must neither
// crash nor leave a pixel outside 24 bits; whatever it refuses, it refuses
// in one line.

#include "app/program.h"
#include "app/replay.h"
#include "fuzz_input.h"
#include "gfx/memory_platform.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    tambrel::Session session;
    std::string error;
    const bool accepted = data[0] % 2 == 0 ? tambrel::readSession(rest, session, error)
                                           : tambrel::checkRecords({rest.begin(), rest.end()}, session, error);
    if (!accepted) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort(); // one line, always
        return 0;
    }

    // One program for all runs: the replay starts it afresh each time.
    static tambrel::MemoryPlatform platform;
    static tambrel::MemoryDialogView view;
    static tambrel::Program& program = *[] {
        auto* p = new tambrel::Program(platform, view); // lives for the whole fuzzing run
        p->buildMainWindow();
        return p;
    }();
    tambrel::SessionReplay replay(program, std::move(session));
    replay.begin();
    for (int steps = 0; steps < 3000 && replay.step() == tambrel::SessionReplay::Step::Ran; ++steps) {
    }
    replay.finish();
    if (!tambrel::fuzz::all24Bit(program.canvas.pixels(), tambrel::Canvas::kWidth * tambrel::Canvas::kHeight))
        std::abort();
    return 0;
}
