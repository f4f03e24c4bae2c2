// SPDX-License-Identifier: MIT
#pragma once
// The pauses of the click reactions (a rebuild's 100 ms) are there to delay
// the animation, not to freeze the window: asked for on the window thread,
// a pause returns at once and postpones the animation thread's next pass
// instead, as the web page's scheduler does. Fast clicks then no longer add
// up to seconds in which the window answers nothing; the state after every
// event is the same. Every front end with a window thread uses it alike.

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace tambrel {

class PassPauses {
public:
    using Clock = std::chrono::steady_clock;

    // Window thread: no pass starts its step before `ms` from now.
    void postpone(int ms)
    {
        std::lock_guard lock(m_mutex);
        m_until = std::max(m_until, Clock::now() + std::chrono::milliseconds(ms));
    }
    // Animation thread: the pass's own pause, lengthened to any postponement
    // asked for meanwhile.
    void sleep(int ms)
    {
        const Clock::time_point own = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) { // a postponement only ever moves later: look again after each wait
            const Clock::time_point until = std::max(own, postponedUntil());
            if (Clock::now() >= until) return;
            std::this_thread::sleep_until(until);
        }
    }
    Clock::time_point postponedUntil()
    {
        std::lock_guard lock(m_mutex);
        return m_until;
    }

private:
    std::mutex m_mutex; // guards m_until
    Clock::time_point m_until{};
};

} // namespace tambrel
