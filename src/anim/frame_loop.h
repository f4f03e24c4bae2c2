// SPDX-License-Identifier: MIT
#pragma once
// The animation thread's pass loop: take the state lock, read the pointer,
// run the step of the mode that is on, release the lock, show the frame,
// pause 10 ms. There is no clock: every speed is per frame.

#include "modes/mode.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#ifndef _WIN32
#include <pthread.h>
#endif
#include <vector>

namespace tambrel {

// One recursive lock guards the mode flags, all mode state, the canvas with
// its drawing state and the random generator.
using StateLock = std::recursive_mutex;

constexpr int kPassPauseMs = 10;

// Told of every pass, under the state lock, before and after its steps (the
// session recorder).
class PassObserver {
public:
    virtual ~PassObserver() = default;
    virtual void passBegins() = 0;
    virtual void passEnds() = 0;
};

class FrameLoop {
public:
    // stepOrder: the modes whose steps a pass may run, in the order it tests them.
    FrameLoop(StateLock& stateLock, const std::atomic<bool>& exitRequested, std::vector<Mode*> stepOrder,
              FrameValues& frame, Platform& platform, PassObserver* observer = nullptr)
        : m_stateLock(stateLock), m_exitRequested(exitRequested), m_stepOrder(std::move(stepOrder)),
          m_frame(frame), m_platform(platform), m_observer(observer) {}

    // One pass, pause included; true when a mode's step ran.
    bool pass() { return runPass(false); }
    // Passes until exitRequested is seen at the top of one. With no mode on, a pass draws nothing and
    // shows nothing, so instead of running idle passes the loop waits for
    // wake(): a program that does nothing costs nothing.
    void run();
    // A mode has been switched on, or the program is ending: passes go on.
    void wake();
    // Under the state lock: while held, the animation thread runs no passes
    // (a replay runs them itself, one by one); releasing wakes it.
    void hold(bool held);
    // Under the state lock: the modes have been made anew.
    void setStepOrder(std::vector<Mode*> stepOrder) { m_stepOrder = std::move(stepOrder); }

private:
    // unlessHeld: the animation thread's pass, which does nothing while held.
    bool runPass(bool unlessHeld);

    StateLock& m_stateLock;
    const std::atomic<bool>& m_exitRequested;
    std::vector<Mode*> m_stepOrder;
    FrameValues& m_frame;
    Platform& m_platform;
    PassObserver* m_observer;
    bool m_held = false; // guarded by the state lock

    std::mutex m_idleMutex; // guards m_wakes
    std::condition_variable m_woken;
    uint64_t m_wakes = 0;
};

// The worker that runs the frame loop, on its own 1 MiB stack.
class AnimationThread {
public:
    static constexpr size_t kStackBytes = 1 << 20;

    explicit AnimationThread(FrameLoop& loop) : m_loop(loop) {}
    ~AnimationThread() { join(); }
    AnimationThread(const AnimationThread&) = delete;
    AnimationThread& operator=(const AnimationThread&) = delete;

    // False when the thread could not be created; the program goes on.
    bool start();
    void join();

private:
    FrameLoop& m_loop;
#ifdef _WIN32
    void* m_handle = nullptr; // the thread's HANDLE
#else
    pthread_t m_handle{};
#endif
    bool m_started = false;
};

} // namespace tambrel
