// SPDX-License-Identifier: MIT
#include "gfx/rnd.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <ctime>

namespace tambrel {

uint32_t Rnd::seedForTimeOfDay(int hours, int minutes, int seconds, int milliseconds)
{
    const long ms = hours * 3600000L + minutes * 60000L + seconds * 1000L + milliseconds;
    const float secs = static_cast<float>(static_cast<double>(ms) / 1000.0);
#ifdef __cpp_lib_bit_cast
    return std::bit_cast<uint32_t>(secs);
#else // an older standard library (the web edition's) lacks std::bit_cast
    uint32_t bits;
    std::memcpy(&bits, &secs, sizeof bits);
    return bits;
#endif
}

uint32_t Rnd::clockSeed()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return seedForTimeOfDay(local.tm_hour, local.tm_min, local.tm_sec, ms);
}

} // namespace tambrel
