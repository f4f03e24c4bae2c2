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
inline int saturateToInt(double v)
{
    if (std::isnan(v)) return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<int>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<int>::max());
    if (v <= lo) return std::numeric_limits<int>::min();
    if (v >= hi) return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}
} // namespace detail

// Round half to even, as a double (std::nearbyint under the default mode).
inline double roundEven(double v) { return std::nearbyint(v); }

// Round half to even to an int; NaN -> 0, out of range saturates.
inline int roundToInt(double v) { return detail::saturateToInt(std::nearbyint(v)); }

// Round towards minus infinity to an int ("rounded down").
inline int floorToInt(double v) { return detail::saturateToInt(std::floor(v)); }

// Round towards zero to an int ("truncated").
inline int truncToInt(double v) { return detail::saturateToInt(std::trunc(v)); }

} // namespace tambrel
