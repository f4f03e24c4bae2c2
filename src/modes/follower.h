// SPDX-License-Identifier: MIT
#pragma once
// Cursor follower: a violet disc hunts the pointer, turning at most 5 degrees
// a frame, speeding up when far and braking when near. A click throws it to a
// random place with a new heading and size. Dotted rings mark the pointer.

#include "modes/mode.h"

namespace tambrel {

struct FollowerState {
    double followerX = 0, followerY = 0;
    double followerHeading = 0; // degrees, never wrapped
    double followerSpeed = 0;   // pixels per frame
    int followerSize = 0;       // disc radius
};

class FollowerMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    FollowerState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const FollowerMode&>(other).s; }
};

} // namespace tambrel
