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
#include <condition_variable>
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

// A seek's replay, away from the window: a program of its own replays from
// the best start (a copy, the window's own state, or where its last seek
// went) to the target, and the window takes the state it reaches. The
// newest target wins: a seek asked for meanwhile, or a cancel, stops the
// one under way within a few passes.
class ReplaySeeker {
public:
    explicit ReplaySeeker(std::shared_ptr<const Session> session);
    ~ReplaySeeker();
    ReplaySeeker(const ReplaySeeker&) = delete;
    ReplaySeeker& operator=(const ReplaySeeker&) = delete;

    // A new target, in place of any before it. `window` (may be null) is
    // the state the window shows at `windowMs`, a start where no copy is
    // nearer.
    void request(uint32_t targetMs, std::unique_ptr<ProgramState> window, const RecordMark& windowMark, uint32_t windowMs);
    void cancel();
    // Replays up to `steps` passes and commands towards the target; false
    // when there is nothing (more) to do.
    bool work(int steps, const ReplayCopies& copies);
    // The state of the newest target once reached, with where the session
    // goes on; false while it is still on its way.
    struct Landed {
        ProgramState state;
        RecordMark mark;
        uint32_t timeMs = 0;
        std::string error; // the session no longer replays from here
    };
    bool take(Landed& landed);
    // How far the seek under way has come, in the session's time.
    uint32_t reachMs() const { return m_reachMs.load(); }
    // Wakes a thread that waits in waitForWork().
    bool waitForWork(const std::atomic<bool>& stop);
    void wake();

private:
    struct Request {
        uint64_t id = 0;
        uint32_t targetMs = 0;
        std::unique_ptr<ProgramState> window;
        RecordMark windowMark;
        uint32_t windowMs = 0;
        bool cancelled = true;
    };
    void startTowards(Request& request, const ReplayCopies& copies);

    std::shared_ptr<const Session> m_session;
    std::unique_ptr<MemoryPlatform> m_platform;
    std::unique_ptr<MemoryDialogView> m_view;
    std::unique_ptr<Program> m_program;
    std::unique_ptr<SessionReplay> m_replay; // the seeker's own, in m_program
    ProgramState m_start;                    // a start on its way into m_program
    uint64_t m_workingId = 0;
    uint32_t m_targetMs = 0;
    uint32_t m_ranUpToMs = 0; // every record m_replay ran is at or before this
    bool m_working = false;
    std::atomic<uint32_t> m_reachMs{0};

    mutable std::mutex m_mutex; // guards m_request and m_landed
    std::condition_variable m_wake;
    Request m_request;
    std::unique_ptr<Landed> m_landed;
    uint64_t m_landedId = 0;
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

    // Starts playing, from the session's start or at `atMs` (a seek there),
    // at `wallMs` on the front end's steady clock (milliseconds).
    void start(uint32_t atMs, double wallMs);
    // The records whose time has come by `wallMs` at the chosen speed (as
    // fast as it goes: as many as fit in a few milliseconds). Ended at the
    // session's end, Failed with error() when it no longer replays.
    SessionReplay::Step tick(double wallMs);
    // To the state the session had at `timeMs` (clamped to its length),
    // backwards too; playing or paused as before once there. The replay
    // there runs away from the window (on a thread, or in tick()'s slices)
    // and the picture holds meanwhile; a newer seek takes its place.
    void seek(uint32_t timeMs, double wallMs);
    // A seek by `byMs` from where the replay stands (or is going), within
    // the session.
    void seekBy(int64_t byMs, double wallMs);
    // Waits (without threads: works) until the seek under way has landed;
    // for tools and tests, which have no window to keep answering.
    SessionReplay::Step settle(double wallMs);
    // Whether a seek is on its way, where to, and how far it has come.
    bool seeking() const { return m_seeking; }
    uint32_t seekTargetMs() const { return m_seekTargetMs; }
    uint32_t seekReachMs() const { return m_seeker.reachMs(); }
    // Where the bar's thumb stands: the seek's target while it goes there.
    uint32_t shownMs() const { return m_seeking ? m_seekTargetMs : m_positionMs; }
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
    // Takes the state a seek landed on; false while it is on its way.
    bool land(double wallMs);
    // The recording's clock stands at the time the picture shows.
    void showTime();

    Program& m_program;
    std::shared_ptr<const Session> m_session;
    std::string m_name;
    std::unique_ptr<SessionReplay> m_replay;
    ReplayCopies m_copies;
    ReplaySeeker m_seeker;
    ReplaySeeker::Landed m_landed; // a seek's state on its way into the program
    bool m_threaded = false;
    bool m_seeking = false;
    uint32_t m_seekTargetMs = 0;
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
    std::thread m_seekThread;
};

// The calling thread yields to the window's: work the user does not watch.
void lowerThreadPriority();

} // namespace tambrel
