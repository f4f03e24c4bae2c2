// SPDX-License-Identifier: MIT
#pragma once
// Checkpoints: copies of the whole program state taken now and then as the
// run goes, each with the place in the session where it was taken. A clip of
// the last seconds replays from the newest checkpoint before them instead of
// from the start of the run.

#include "app/mode_table.h"
#include "app/session.h"
#include "gfx/memory_platform.h"
#include "modes/mode.h"

#include <array>
#include <memory>
#include <vector>

namespace tambrel {

// Every bit of a program's state: the canvas with its drawing state, the
// generator, the frame values, the capture's buffer, and every mode with its
// flag. The window's words follow from it (see Program::showState).
class ProgramState {
public:
    ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;
    void copyFrom(const ProgramState& other);

    Canvas canvas;
    Rnd rnd;
    FrameValues frame;
    PixelBuffer pixelBuffer;
    std::vector<std::unique_ptr<Mode>> modes; // button order; never run, only copied
    bool switched = false; // a mode button was pressed since the start: the buttons' font is no longer the dialog's

private:
    MemoryPlatform m_platform; // the modes need one; they never use it here
    ModeContext m_ctx{canvas, rnd, m_platform, frame, pixelBuffer};
};

struct Checkpoint {
    ProgramState state;
    RecordMark mark; // the session's place: before the record of the pass it was taken at
    uint32_t timeMs = 0;
    bool taken = false;
};

class Checkpoints {
public:
    static constexpr uint32_t kEveryMs = 10'000;
    // Enough to start any clip of up to kLongestClipMs from one of them.
    static constexpr uint32_t kLongestClipMs = 60'000;
    static constexpr size_t kKept = kLongestClipMs / kEveryMs + 1;

    // Whether a checkpoint is due at a pass at `timeMs`.
    bool due(uint32_t timeMs) const { return !m_any || timeMs >= m_lastMs + kEveryMs; }
    // The slot for a checkpoint taken at `timeMs` (the oldest is given up);
    // the caller fills its state and mark.
    Checkpoint& take(uint32_t timeMs);
    void clear();
    // The newest checkpoint taken at or before `timeMs`, or none.
    const Checkpoint* atOrBefore(uint32_t timeMs) const;
    size_t memoryBytes() const;

private:
    std::array<std::unique_ptr<Checkpoint>, kKept> m_slots;
    size_t m_next = 0;
    uint32_t m_lastMs = 0;
    bool m_any = false;
};

} // namespace tambrel
