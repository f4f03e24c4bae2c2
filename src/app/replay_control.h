// SPDX-License-Identifier: MIT
#pragma once
// A replay the user watches and steers, as every edition's replay bar shows
// it: play and pause, a speed, a seek to any time, and "take over". A seek
// lands on exactly the state the session had at that time: the program
// starts from the nearest copy of its whole state before it and replays the
// rest. The copies are made ahead of the playing position by a replay of
// the session of their own, in a program without a window: on a thread of
// their own at a lower priority, or, where there are no threads (the web
// page), in slices between the page's frames.

#include "app/checkpoints.h"
#include "app/replay.h"
#include "app/session.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tambrel {

class Program;
class MemoryPlatform;
class MemoryDialogView;

// Copies of the whole state along a session, evenly spaced. Memory stays
// under kBudgetBytes: when the copies would take more, every other one is
// given up and the spacing doubles (an hour of the capture's run, whose
// copies are largest, ends up with a copy every 32 s).
class ReplayCopies {
public:
    static constexpr uint32_t kFirstEveryMs = 2'000;
    static constexpr size_t kBudgetBytes = size_t{160} << 20;

    explicit ReplayCopies(const Session& session);
    ~ReplayCopies();
    ReplayCopies(const ReplayCopies&) = delete;
    ReplayCopies& operator=(const ReplayCopies&) = delete;

    // Replays up to `steps` more passes and commands; false once the
    // session has been gone through (or no longer replays).
    bool advance(int steps);
    // How far the copies reach: the session's time replayed so far.
    uint32_t reachMs() const { return m_reachMs.load(); }
    bool done() const { return m_done.load(); }
    // The newest copy at or before `timeMs` into `state`; false for none.
    bool copyAtOrBefore(uint32_t timeMs, ProgramState& state, RecordMark& mark, uint32_t& takenMs) const;
    size_t memoryBytes() const;
    size_t count() const;
    uint32_t everyMs() const;

private:
    struct Copy {
        ProgramState state;
        RecordMark mark;
        uint32_t timeMs = 0;
    };
    void keep();

    std::unique_ptr<MemoryPlatform> m_platform;
    std::unique_ptr<MemoryDialogView> m_view;
    std::unique_ptr<Program> m_program;
    std::unique_ptr<SessionReplay> m_replay;
    mutable std::mutex m_mutex; // guards the copies and the spacing
    std::vector<std::unique_ptr<Copy>> m_copies;
    uint32_t m_everyMs = kFirstEveryMs;
    uint32_t m_nextMs = 0;
    std::atomic<uint32_t> m_reachMs{0};
    std::atomic<bool> m_done{false};
};

class ReplayControl {
public:
    // The speeds a user can choose; 0 is "as fast as it goes".
    static constexpr double kSpeeds[] = {0.25, 0.5, 1, 2, 4, 8, 0};
    static constexpr double kFastest = 0;

    // `name`: what the bar calls the session (its file name, or "shared link").
    // With `threaded` the copies are made on a thread of their own;
    // otherwise the front end calls buildCopies between its frames.
    ReplayControl(Program& program, Session session, std::string name, bool threaded);
    ~ReplayControl();
    ReplayControl(const ReplayControl&) = delete;
    ReplayControl& operator=(const ReplayControl&) = delete;

    // Starts playing, from the session's start or at `atMs`, at `wallMs` on
    // the front end's steady clock (milliseconds).
    bool start(uint32_t atMs, double wallMs);
    // The records whose time has come by `wallMs` at the chosen speed (as
    // fast as it goes: as many as fit in a few milliseconds). Ended at the
    // session's end, Failed with error() when it no longer replays.
    SessionReplay::Step tick(double wallMs);
    // To the state the session had at `timeMs` (clamped to its length),
    // backwards too; playing or paused as before.
    SessionReplay::Step seek(uint32_t timeMs, double wallMs);
    // A seek by `byMs` from where the replay stands, within the session.
    SessionReplay::Step seekBy(int64_t byMs, double wallMs);
    void setPaused(bool paused, double wallMs);
    void setSpeed(double speed, double wallMs);
    // One of kSpeeds slower (-1) or faster (+1) than the one chosen.
    void stepSpeed(int by, double wallMs);
    // What a bar calls a speed: "1/4x", "2x", "As fast as it goes".
    static std::string speedLabel(double speed);
    // Hands the window back from the state it shows: the recording goes on.
    void finish();
    // For front ends without threads: makes copies for up to `budgetMs`.
    void buildCopies(double budgetMs);

    const std::string& name() const { return m_name; }
    uint32_t durationMs() const { return m_durationMs; }
    uint32_t positionMs() const { return m_positionMs; }
    double speed() const { return m_speed; }
    bool paused() const { return m_paused; }
    // The session's times where a mode button was pressed.
    const std::vector<uint32_t>& switches() const { return m_switches; }
    uint32_t copiesReachMs() const { return m_copies.reachMs(); }
    const ReplayCopies& copies() const { return m_copies; }
    const std::string& error() const { return m_error; }

private:
    void anchor(double wallMs);
    SessionReplay::Step ended(SessionReplay::Step step);

    Program& m_program;
    std::shared_ptr<const Session> m_session;
    std::string m_name;
    std::unique_ptr<SessionReplay> m_replay;
    ReplayCopies m_copies;
    ProgramState m_scratch; // a copy on its way into the program
    std::vector<uint32_t> m_switches;
    uint32_t m_durationMs = 0;
    uint32_t m_positionMs = 0;
    double m_speed = 1;
    bool m_paused = false;
    double m_anchorWallMs = 0; // the wall clock and session time the speed counts from
    uint32_t m_anchorMs = 0;
    std::string m_error;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The calling thread yields to the window's: work the user does not watch.
void lowerThreadPriority();

} // namespace tambrel
