// SPDX-License-Identifier: MIT
#pragma once
// A hand of Tambrel's own: a seeded player that moves the pointer, clicks
// and switches modes as a person enjoying each mode would. It never touches
// a mode: the program gets its moves as a person's input (the pointer, the
// buttons, clicks on the canvas), so that what it played is recorded and
// replays bit for bit like any session.

#include "gfx/rnd.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tambrel {

class Program;

class Autopilot {
public:
    static constexpr uint32_t kSecondsPerMode = 30;
    struct Settings {
        uint32_t seed = 1;
        uint32_t secondsPerMode = kSecondsPerMode;
        bool capture = false; // Capture takes a picture of the screen: only when asked
        // The modes it plays, bit m for mode m of the table; 0: every one
        // (Capture only with `capture`). A choice of modes is asked for.
        uint32_t modes = 0;
    };
    // What the hand does before the pass at a time: a button to press (0:
    // none), then the pointer's place on the canvas and whether it clicks.
    struct Move {
        int press = 0;
        int x = 0, y = 0;
        bool click = false;
    };

    explicit Autopilot(Settings settings);

    // The move for the pass at `nowMs` (times only grow).
    Move next(uint32_t nowMs);
    // The modes in the order the hand plays them: indices into the mode table.
    const std::vector<int>& order() const { return m_order; }

private:
    void startMode(uint32_t nowMs);
    void pickTarget();
    uint32_t nextClick(uint32_t nowMs); // the time of the mode's next click (UINT32_MAX: none)
    double uniform(double from, double to) { return from + (to - from) * m_rnd.next(); }

    Settings m_settings;
    Rnd m_rnd; // its own: the program's draws stay as a person's play leaves them
    std::vector<int> m_order;
    size_t m_next = 0;  // the next mode in m_order
    int m_mode = -1;    // the mode being played
    uint32_t m_modeFromMs = 0, m_lastMs = 0;
    uint32_t m_clickAtMs = 0, m_clearAtMs = 0, m_restUntilMs = 0;
    double m_x = 300, m_y = 256, m_targetX = 300, m_targetY = 256;
    double m_phase = 0; // of a sweep
    bool m_started = false;
};

// Hands a move's press, then its click, to the program as a person's
// input. The pointer is the platform's: set it to the move's place first,
// so that a mode switched on sees where it is.
void giveMove(Program& program, const Autopilot::Move& move);

} // namespace tambrel
