// SPDX-License-Identifier: MIT
#pragma once
// The redraw, handed from the animation thread to the window thread: the
// animation thread copies the surface (in the window's pixel format) into a
// picture the window owns from then on, and goes on to its pause at once;
// the window thread presents the newest picture when it gets to it. Three
// pictures take turns, so that neither thread ever waits for the other and
// none is ever shown half-written: one being written, one ready, one being
// shown. When the window thread falls behind, the newest picture wins and
// the older ones are dropped, never queued. Every front end with a window
// thread uses it alike.

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tambrel {

class PictureHandOver {
public:
    // The window's pixel format from the surface's 0x00BBGGRR: 0xFFRRGGBB,
    // what Qt's RGB32 images and Windows' 32-bit bitmaps hold.
    static uint32_t windowPixel(uint32_t v) { return 0xFF000000u | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF); }

    // Any thread, with the surface steady (under the state lock): `pixels`
    // becomes the newest picture. True when the window thread has taken the
    // one before, so it needs to be told of this one; false when it will
    // find this one anyway (it has not got round to the last yet).
    bool handOver(const uint32_t* pixels, size_t count)
    {
        std::vector<uint32_t>& back = m_pictures[m_back];
        back.resize(count);
        for (size_t i = 0; i < count; ++i) back[i] = windowPixel(pixels[i]);
        std::lock_guard lock(m_mutex);
        std::swap(m_back, m_ready);
        const bool tell = !m_fresh;
        m_fresh = true;
        return tell;
    }
    // Window thread: the newest picture, if one came since the last call
    // (null otherwise). It stays the window's until the next call.
    const std::vector<uint32_t>* take()
    {
        std::lock_guard lock(m_mutex);
        if (!m_fresh) return nullptr;
        std::swap(m_ready, m_shown);
        m_fresh = false;
        return &m_pictures[m_shown];
    }
    // Window thread: the picture taken last (empty before the first).
    const std::vector<uint32_t>& shown() const { return m_pictures[m_shown]; }

private:
    std::array<std::vector<uint32_t>, 3> m_pictures;
    // m_back belongs to whoever hands over (callers hold the state lock);
    // m_ready and m_fresh are guarded by m_mutex; m_shown is the window thread's.
    size_t m_back = 0, m_ready = 1, m_shown = 2;
    bool m_fresh = false;
    std::mutex m_mutex;
};

} // namespace tambrel
