// SPDX-License-Identifier: MIT
#pragma once
// Reads a fuzzer's bytes as a stream of values; past the end everything is 0.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tambrel::fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_pos >= m_size; }
    template <typename T>
    T take()
    {
        T v{};
        const size_t n = m_pos + sizeof(T) <= m_size ? sizeof(T) : m_size - m_pos;
        if (n > 0) std::memcpy(&v, m_data + m_pos, n);
        m_pos += n;
        return v;
    }
    // Raw doubles reach NaN, infinities and huge values; some bytes pick
    // familiar coordinates instead, so that figures also land on the surface.
    double coord()
    {
        const uint8_t how = take<uint8_t>();
        if (how < 160) return take<int16_t>() / 16.0;
        return take<double>();
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// True when no pixel has bits above the 24 of a colour. Outside the fuzzer's
// coverage: traced, this loop would cost more than the drawing.
#if defined(__clang__)
__attribute__((no_sanitize("coverage")))
#endif
inline bool all24Bit(const uint32_t* p, int n)
{
    uint32_t high = 0;
    for (int i = 0; i < n; ++i) high |= p[i];
    return high <= 0xFFFFFF;
}

} // namespace tambrel::fuzz
