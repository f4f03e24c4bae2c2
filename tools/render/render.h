// SPDX-License-Identifier: MIT
#pragma once
// tambrel-render: runs one mode exactly as the program would, or replays a
// recorded session, without a window, and writes the surface as PNG.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tambrel {

// Ten million passes take a day in the heaviest modes; more is a typing slip.
constexpr int kMaxFrames = 10'000'000;

// One mode's run: switched on, then its passes with their pointer and clicks.
struct RenderSegment {
    std::string mode;
    int frames = 100;
    std::pair<int, int> pointer{300, 256};
    std::vector<std::pair<int, int>> path; // one point per pass, the last repeating
    std::vector<int> clicks;               // after K passes
};

// A headless run's passes come this far apart in its session: the pause alone.
constexpr uint32_t kHeadlessPassMs = 10;

struct RenderOptions {
    std::vector<RenderSegment> segments; // one after another, each --mode beginning the next
    std::optional<uint32_t> seed;
    std::string saveSession; // the run's session, written here
    std::string captureImage;
    std::string out;
    int every = 0;
    std::string everyDir;
    std::string replay;   // a session file to replay instead of a mode
    int64_t until = -1;   // with replay: stop after this many passes
    int64_t untilMs = -1; // with replay: stop after every record up to this time
    std::string video;    // with replay: a clip of the session (.webp, .gif, .mp4)
    double fromSeconds = 0, toSeconds = -1; // the clip's stretch; -1: to the session's end
    double lastSeconds = -1;                 // or the session's last seconds, as Save Clip takes them
    bool progress = false; // a progress line on standard error
    bool count = false;    // with --replay: say how many passes the session ran, in how long
    bool autopilot = false;  // the program plays by itself, for the first segment's frames
    int secondsPerMode = 30; // with autopilot
    bool withCapture = false; // with autopilot: Capture among its modes
};

// False with a message for any unknown or malformed argument.
bool parseRenderArgs(const std::vector<std::string>& args, RenderOptions& options, std::string& error);
// Reads the path and capture files, runs, writes; 0 on success, 2 on a bad
// file or argument.
int runRender(RenderOptions options, std::ostream& err);
std::string renderUsage();

} // namespace tambrel
