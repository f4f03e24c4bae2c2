// SPDX-License-Identifier: MIT
#include "gfx/memory_platform.h"

#include <chrono>
#include <thread>

namespace tambrel {

void MemoryPlatform::setScreen(std::optional<Image> screen)
{
    std::lock_guard lock(m_mutex);
    m_screen = std::move(screen);
}

void MemoryPlatform::sleepMs(int ms)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_sleeps.size() < 100000) m_sleeps.push_back(ms);
    }
    if (m_realSleeps) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void MemoryPlatform::doEvents(int ms)
{
    std::lock_guard lock(m_mutex);
    m_eventWaits.push_back(ms);
}

bool MemoryPlatform::clearClipboard()
{
    std::lock_guard lock(m_mutex);
    m_clipboard.reset();
    return true;
}

void MemoryPlatform::pressPrintScreen()
{
    std::lock_guard lock(m_mutex);
    if (m_screen) m_clipboard = m_screen;
}

bool MemoryPlatform::getClipboardImage(Image& out)
{
    std::lock_guard lock(m_mutex);
    if (!m_clipboard) return false;
    out = *m_clipboard;
    return true;
}

std::vector<int> MemoryPlatform::sleeps() const
{
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

std::vector<int> MemoryPlatform::eventWaits() const
{
    std::lock_guard lock(m_mutex);
    return m_eventWaits;
}

bool MemoryPlatform::clipboardHasImage() const
{
    std::lock_guard lock(m_mutex);
    return m_clipboard.has_value();
}

} // namespace tambrel
