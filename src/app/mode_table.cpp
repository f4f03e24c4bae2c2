// SPDX-License-Identifier: MIT
#include "app/mode_table.h"

#include "modes/bouncy.h"
#include "modes/bumps.h"
#include "modes/capture.h"
#include "modes/clouds.h"
#include "modes/drawing.h"
#include "modes/emitter.h"
#include "modes/fireworks.h"
#include "modes/follower.h"
#include "modes/gravity.h"
#include "modes/psyche.h"
#include "modes/shader.h"
#include "modes/snow.h"
#include "modes/stars.h"
#include "modes/whirl.h"

namespace tambrel {

namespace {
template <typename M>
std::unique_ptr<Mode> make(ModeContext& ctx)
{
    return std::make_unique<M>(ctx);
}
} // namespace

// clang-format off
const std::array<ModeInfo, kModeCount> kModeTable = {{
    // id   word         off-caption            on-caption              title                                       click step  caption first
    {1002, "follower",  "Turn Follower On",   "Turn Follower Off",   "Tambrel: Cursor follower animation",      13, 13, false, make<FollowerMode>},
    {1003, "bouncy",    "Turn Bouncy On",     "Turn Bouncy Off",     "Tambrel: Bouncy ball animation",           1, 12, false, make<BouncyMode>},
    {1004, "drawing",   "Turn Drawing On",    "Turn Drawing Off",    "Tambrel: Simple drawing mode",            11,  9, false, make<DrawingMode>},
    {1005, "fireworks", "Turn Fireworks On",  "Turn Fireworks Off",  "Tambrel: Fireworks animation",            14, 11, false, make<FireworksMode>},
    {1006, "emitter",   "Turn Emittor On",    "Turn Emittor Off",    "Tambrel: Particle emittor animation",     12, 10, false, make<EmitterMode>},
    {1007, "gravity",   "Turn Gravity On",    "Turn Gravity Off",    "Tambrel: Gravity field simulation",        5,  8, false, make<GravityMode>},
    {1008, "snow",      "Turn Snow On",       "Turn Snow Off",       "Tambrel: Falling snow animation",          4,  7, false, make<SnowMode>},
    {1009, "stars",     "Turn Stars On",      "Turn Stars Off",      "Tambrel: Starfield animation",             3,  6, false, make<StarsMode>},
    {1010, "bumps",     "Turn Bumps On",      "Turn Bumps Off",      "Tambrel: Collision detection animation",   2,  5, false, make<BumpsMode>},
    {1011, "shader",    "Turn Shader On",     "Turn Shader Off",     "Tambrel: Shade-bob type drawing mode",    10,  4, false, make<ShaderMode>},
    {1012, "clouds",    "Turn Clouds On",     "Turn Clouds Off",     "Tambrel: Random fractal cloud painter",    6,  0, false, make<CloudsMode>},
    {1013, "capture",   "Turn Capture On",    "Turn Capture Off",    "Tambrel: Screen capture degrader",         9,  3, true,  make<CaptureMode>},
    {1014, "whirl",     "Turn Whirl On",      "Turn Whirl Off",      "Tambrel: 3D whirlwind animation",          8,  2, false, make<WhirlMode>},
    {1015, "psyche",    "Turn Psyche On",     "Turn Psyche Off",     "Tambrel: Psychedelic animation",           7,  1, false, make<PsycheMode>},
}};
// clang-format on

int modeIndexForWord(std::string_view word)
{
    for (int i = 0; i < kModeCount; ++i)
        if (kModeTable[static_cast<size_t>(i)].word == word) return i;
    return -1;
}

} // namespace tambrel
