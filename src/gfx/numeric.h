// SPDX-License-Identifier: MIT
#pragma once
// Number conventions shared by the canvas and every mode.
//
// - Fractional constants of the modes are single-precision values widened to
//   double: write them as `0.1_sp` (0.10000000149011612), never as 0.1.
// - A double becomes an integer by rounding half to even (2.5 -> 2, 3.5 -> 4),
//   never by truncation, unless a mode says "rounded down" (floorToInt) or
//   "truncated" (truncToInt).
// - Every conversion here is safe for any double: NaN gives 0 and values
//   beyond the int range saturate, so no mode can reach undefined behaviour.

#include <cmath>
#include <cstdint>
#include <limits>

namespace tambrel {

// Single-precision literal widened to double: 0.1_sp == double(0.1f).
constexpr double operator""_sp(long double v) { return static_cast<double>(static_cast<float>(v)); }

namespace detail {
constexpr double kIntLo = static_cast<double>(std::numeric_limits<int>::min());
constexpr double kIntHi = static_cast<double>(std::numeric_limits<int>::max());

// v is already a whole number (or NaN): to int, NaN -> 0, saturating.
inline int saturateToInt(double v)
{
    if (v >= kIntLo && v <= kIntHi) return static_cast<int>(v);
    if (v > kIntHi) return std::numeric_limits<int>::max();
    return v < kIntLo ? std::numeric_limits<int>::min() : 0;
}
} // namespace detail

// Round half to even, as a double. Adding and taking away 2^52 leaves the
// hardware's round-to-nearest-even to do the work: exact for every double
// (beyond 2^52 all doubles are whole already), and no library call on the
// hot paths that round millions of values a second.
inline double roundEven(double v)
{
    constexpr double kShift = 4503599627370496.0; // 2^52
    const double a = std::fabs(v);
    if (!(a < kShift)) return v; // whole already, infinite or NaN
    return std::copysign((a + kShift) - kShift, v);
}

// Round half to even to an int; NaN -> 0, out of range saturates.
inline int roundToInt(double v) { return detail::saturateToInt(roundEven(v)); }

// Round towards minus infinity to an int ("rounded down").
inline int floorToInt(double v)
{
    if (v >= detail::kIntLo && v < detail::kIntHi) {
        const int t = static_cast<int>(v); // towards zero
        return t - (static_cast<double>(t) > v);
    }
    return detail::saturateToInt(std::floor(v));
}

// Round towards zero to an int ("truncated").
inline int truncToInt(double v) { return detail::saturateToInt(std::trunc(v)); }

} // namespace tambrel
