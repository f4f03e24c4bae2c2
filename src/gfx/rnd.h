// SPDX-License-Identifier: MIT
#pragma once
// The program's one random number generator: a 32-bit linear congruential
// generator, s := s * 134775813 + 1 (mod 2^32), result (s >> 1) / 2^31, so a
// uniform double in [0, 1) with 31-bit resolution. Both threads draw from it
// under the state lock; the order of draws is part of every mode's behaviour.

#include <cstdint>

namespace tambrel {

class Rnd {
public:
    double next()
    {
        const uint32_t s = static_cast<uint32_t>(m_state) * 134775813u + 1u;
        m_state = s;
        return static_cast<double>(s >> 1) * (1.0 / 2147483648.0);
    }
    double operator()() { return next(); }

    uint32_t state() const { return static_cast<uint32_t>(m_state); }
    void setState(uint32_t s) { m_state = s; }

    // The seed for a local time of day: the bit pattern of the single-precision
    // number of seconds since midnight, milliseconds included.
    static uint32_t seedForTimeOfDay(int hours, int minutes, int seconds, int milliseconds);
    // The seed for the local clock's time of day now.
    static uint32_t clockSeed();
    void seedFromClock() { m_state = clockSeed(); }

private:
    // The 32-bit state in a 64-bit word: no 32-bit pixel or table store can
    // alias it, so the compiler keeps it in a register through a mode's
    // loops instead of storing and reloading it for every number.
    uint64_t m_state = 0;
};

} // namespace tambrel
