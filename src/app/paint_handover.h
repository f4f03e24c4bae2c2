// SPDX-License-Identifier: MIT
#pragma once
// The animation thread's redraw, handed to the window thread: the thread
// asks for a paint with a ticket and waits until a paint at least that late
// has been done, unless the window is closing (then the window thread may be
// waiting for this thread to end, and nobody would paint). Every front end
// with a window thread uses it alike.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tambrel {

class PaintHandOver {
public:
    // A ticket for the paint to ask the window thread for; 0 when closing
    // (then nothing is asked and nothing waited for).
    uint64_t request()
    {
        std::lock_guard lock(m_mutex);
        return m_closing ? 0 : ++m_requested;
    }
    // Window thread: the paint for `ticket` (and every earlier one) is done.
    void done(uint64_t ticket)
    {
        std::lock_guard lock(m_mutex);
        if (ticket > m_done) m_done = ticket;
        m_painted.notify_all();
    }
    void wait(uint64_t ticket)
    {
        std::unique_lock lock(m_mutex);
        m_painted.wait(lock, [&] { return m_closing || m_done >= ticket; });
    }
    // From here on nobody waits: the window is going away.
    void setClosing()
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        m_painted.notify_all();
    }

private:
    std::mutex m_mutex; // guards everything below
    std::condition_variable m_painted;
    uint64_t m_requested = 0, m_done = 0;
    bool m_closing = false;
};

} // namespace tambrel
