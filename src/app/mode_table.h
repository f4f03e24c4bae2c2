// SPDX-License-Identifier: MIT
#pragma once
// The fourteen modes in button order: one row each. Adding a mode means its
// own unit under src/modes and one row here.

#include "modes/mode.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace tambrel {

struct ModeInfo {
    int buttonId;
    std::string_view word; // the headless renderer's name for the mode
    std::string_view offCaption;
    std::string_view onCaption;
    std::string_view title;
    int clickOrder; // 1 = first tested by a canvas click
    int stepOrder;  // 1 = first tested by a pass; 0 = the mode has no step
    // The mode shows its on-caption in bold before its start runs (the
    // capture, so that the button already reads "Off" during the capture).
    bool captionBeforeStart;
    std::unique_ptr<Mode> (*make)(ModeContext&);
    // For screen readers: what the mode shows, and what a click on the canvas does.
    std::string_view shows;
    std::string_view clickDoes;
    // For a mode that draws nothing before a click: what the user is told
    // while it has not drawn yet.
    std::string_view untilClicked;
};

constexpr int kModeCount = 14;
extern const std::array<ModeInfo, kModeCount> kModeTable;

// Index into kModeTable for a renderer word, or -1.
int modeIndexForWord(std::string_view word);
// What the canvas shows, for screen readers and the web page's line under
// the window: the mode that is on (null for none), what it shows and what a
// click does; first, while it waits for a click to draw anything, to click.
std::string canvasDescription(const ModeInfo* on, bool waiting = false);
// What a button does, for its tooltip and screen readers: a mode button what
// its mode shows and what a click does, "Clear Screen" what it wipes.
std::string buttonHint(int buttonId);

} // namespace tambrel
