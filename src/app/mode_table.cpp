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
    {1002, "follower",  "Turn Follower On",   "Turn Follower Off",   "Tambrel: Cursor follower animation",      13, 13, false, make<FollowerMode>,
     "A disc hunting the pointer, turning at most 5 degrees a frame.",
     "A click throws the disc elsewhere with a new size.",
     ""},
    {1003, "bouncy",    "Turn Bouncy On",     "Turn Bouncy Off",     "Tambrel: Bouncy ball animation",           1, 12, false, make<BouncyMode>,
     "A ball bouncing under gravity, red for ten frames after each bounce.",
     "A click kicks the ball up and away from the pointer.",
     ""},
    {1004, "drawing",   "Turn Drawing On",    "Turn Drawing Off",    "Tambrel: Simple drawing mode",            11,  9, false, make<DrawingMode>,
     "A pen that follows the pointer, swelling and shrinking.",
     "A click gives the pen a new colour.",
     ""},
    {1005, "fireworks", "Turn Fireworks On",  "Turn Fireworks Off",  "Tambrel: Fireworks animation",            14, 11, false, make<FireworksMode>,
     "Bursts of sparks that fall and shrink away.",
     "A click sets off a burst at the pointer.",
     ""},
    {1006, "emitter",   "Turn Emittor On",    "Turn Emittor Off",    "Tambrel: Particle emittor animation",     12, 10, false, make<EmitterMode>,
     "A fountain of particles from a nozzle under the pointer.",
     "A click gives the fountain a new colour, size and spread.",
     ""},
    {1007, "gravity",   "Turn Gravity On",    "Turn Gravity Off",    "Tambrel: Gravity field simulation",        5,  8, false, make<GravityMode>,
     "A mesh of dots and lines pulled towards the pointer.",
     "A click makes a new random mesh.",
     ""},
    {1008, "snow",      "Turn Snow On",       "Turn Snow Off",       "Tambrel: Falling snow animation",          4,  7, false, make<SnowMode>,
     "Snowflakes falling and settling on a bar under the pointer.",
     "A click gives a new bar width and snowfall.",
     ""},
    {1009, "stars",     "Turn Stars On",      "Turn Stars Off",      "Tambrel: Starfield animation",             3,  6, false, make<StarsMode>,
     "Spinning stars flying out of an origin.",
     "A click moves the origin to the pointer.",
     ""},
    {1010, "bumps",     "Turn Bumps On",      "Turn Bumps Off",      "Tambrel: Collision detection animation",   2,  5, false, make<BumpsMode>,
     "Balls that travel and bounce off each other and the pointer.",
     "A click makes a new set of 10 to 50 balls.",
     ""},
    {1011, "shader",    "Turn Shader On",     "Turn Shader Off",     "Tambrel: Shade-bob type drawing mode",    10,  4, false, make<ShaderMode>,
     "An additive brush that paints where the pointer rests.",
     "A click changes the brush to the next of seven tints.",
     ""},
    {1012, "clouds",    "Turn Clouds On",     "Turn Clouds Off",     "Tambrel: Random fractal cloud painter",    6,  0, false, make<CloudsMode>,
     "A random plasma cloud over the whole canvas.",
     "A click paints a new cloud.",
     "Click the canvas to paint the first cloud: nothing shows before the first click."},
    {1013, "capture",   "Turn Capture On",    "Turn Capture Off",    "Tambrel: Screen capture degrader",         9,  3, true,  make<CaptureMode>,
     "A snapshot of the screen that smears down and to the right.",
     "A click scatters every pixel a little.",
     ""},
    {1014, "whirl",     "Turn Whirl On",      "Turn Whirl Off",      "Tambrel: 3D whirlwind animation",          8,  2, false, make<WhirlMode>,
     "Balls revolving in 3D around a vertical axis.",
     "A click makes new columns, a helix or a swarm.",
     ""},
    {1015, "psyche",    "Turn Psyche On",     "Turn Psyche Off",     "Tambrel: Psychedelic animation",           7,  1, false, make<PsycheMode>,
     "Exclusive-or rings flowing outwards from two to four centres.",
     "A click makes new centres, ring width and colour.",
     "Click the canvas to start the rings: nothing shows before the first click."},
}};
// clang-format on

int modeIndexForWord(std::string_view word)
{
    for (int i = 0; i < kModeCount; ++i)
        if (kModeTable[static_cast<size_t>(i)].word == word) return i;
    return -1;
}

std::string buttonHint(int buttonId)
{
    for (const ModeInfo& mode : kModeTable)
        if (mode.buttonId == buttonId) return std::string(mode.shows) + " " + std::string(mode.clickDoes);
    return "Wipes the canvas white; a mode that is on goes on.";
}

std::string canvasDescription(const ModeInfo* on, bool waiting)
{
    if (!on) return "No mode is on. Switch one on with the buttons.";
    const std::string_view name = on->title.substr(on->title.find(": ") + 2);
    const std::string words = std::string(name) + " is on. " + std::string(on->shows) + " " + std::string(on->clickDoes);
    return waiting && !on->untilClicked.empty() ? std::string(on->untilClicked) + " " + words : words;
}

} // namespace tambrel
