// SPDX-License-Identifier: MIT
#include "anim/frame_loop.h"

#include "gfx/geometry.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace tambrel {

bool FrameLoop::runPass(bool unlessHeld)
{
    bool redraw = false;
    {
        std::lock_guard lock(m_stateLock);
        if (unlessHeld && m_held) return false;
        if (m_observer) m_observer->passBegins();
        m_frame.redrawRequested = false;
        getCanvasMouse(m_platform, m_frame.mouseX, m_frame.mouseY);
        for (Mode* mode : m_stepOrder) {
            if (!mode->isOn) continue;
            mode->stepFrame(m_frame.mouseX, m_frame.mouseY);
            m_frame.redrawRequested = true;
        }
        redraw = m_frame.redrawRequested;
        if (m_observer) m_observer->passEnds();
    }
    // Never hold the lock while waiting for the paint: the paint handler takes it.
    if (redraw) m_platform.redraw();
    m_platform.sleepMs(kPassPauseMs);
    return redraw;
}

// The thread-lifetime frame values start at 0 with the program (and again
// when a replay starts it afresh), so the thread leaves them as they are:
// a replay may have run passes before the thread got going.
void FrameLoop::run()
{
    while (!m_exitRequested.load()) {
        uint64_t seen;
        {
            std::lock_guard lock(m_idleMutex);
            seen = m_wakes;
        }
        if (runPass(true)) continue;
        // Nothing is on: sleep until a mode switches on (or the program ends).
        // A wake that came during the pass is not missed: it moved m_wakes.
        std::unique_lock lock(m_idleMutex);
        m_woken.wait(lock, [&] { return m_wakes != seen || m_exitRequested.load(); });
    }
}

void FrameLoop::hold(bool held)
{
    m_held = held;
    if (!held) wake();
}

void FrameLoop::wake()
{
    {
        std::lock_guard lock(m_idleMutex);
        ++m_wakes;
    }
    m_woken.notify_all();
}

#ifdef _WIN32
// Windows: the stack size given to _beginthreadex counts as a reservation only
// with this flag (winpthreads would take it as the commit and reserve the
// executable's default instead).
bool AnimationThread::start()
{
    auto body = [](void* arg) -> unsigned {
        static_cast<FrameLoop*>(arg)->run();
        return 0;
    };
    const uintptr_t handle = _beginthreadex(nullptr, kStackBytes, body, &m_loop, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == 0) return false;
    m_handle = reinterpret_cast<void*>(handle);
    m_started = true;
    return true;
}

void AnimationThread::join()
{
    if (!m_started) return;
    WaitForSingleObject(m_handle, INFINITE);
    CloseHandle(m_handle);
    m_started = false;
}
#else
bool AnimationThread::start()
{
    // std::thread cannot choose its stack size, so the thread is created with
    // pthreads and handed over through a small trampoline.
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, kStackBytes);
    pthread_t handle;
    auto body = [](void* arg) -> void* {
#ifdef __linux__
        // The pause ends when asked, not up to 50 us later: the system's
        // default slack for grouping wake-ups costs the animation its pace.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
        static_cast<FrameLoop*>(arg)->run();
        return nullptr;
    };
    const bool ok = pthread_create(&handle, &attr, body, &m_loop) == 0;
    pthread_attr_destroy(&attr);
    if (ok) m_handle = handle, m_started = true;
    return ok;
}

void AnimationThread::join()
{
    if (!m_started) return;
    pthread_join(m_handle, nullptr);
    m_started = false;
}
#endif

} // namespace tambrel
