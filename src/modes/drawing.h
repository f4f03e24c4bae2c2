// SPDX-License-Identifier: MIT
#pragma once
// Simple drawing: the pointer is a pen that is always down, its width
// swelling and shrinking on its own between 1 and about 26 pixels. Strokes
// pile up; a click picks a new pen colour.

#include "modes/mode.h"

namespace tambrel {

struct DrawingState {
    int32_t drawColour = 0;
    double drawWidth = 0;       // rounded when applied
    double drawTargetWidth = 0;
    double drawWidthStep = 0;   // per frame, negative while shrinking
    int drawLastX = 0, drawLastY = 0;
};

class DrawingMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void start() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    DrawingState s;

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const DrawingMode&>(other).s; }
};

} // namespace tambrel
