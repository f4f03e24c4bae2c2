// SPDX-License-Identifier: MIT
#pragma once
// Random fractal clouds: each click paints a plasma cloud over the whole
// canvas by recursive midpoint subdivision from four random corner colours.
// Nothing moves: the mode has no frame step.

#include "modes/mode.h"

namespace tambrel {

struct CloudColour {
    int red = 0, green = 0, blue = 0; // corners may hold 256
};

class CloudsMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void start() override;
    void onCanvasClick(int x, int y) override;

    // Paints the five new points of the rectangle and recurses into its
    // quarters; a, b, c, d are the colours at its top-left, top-right,
    // bottom-left and bottom-right corners.
    void subdivideCloud(int x1, int x2, int y1, int y2, const CloudColour& a, const CloudColour& b,
                        const CloudColour& c, const CloudColour& d);

    int cloudRoughness = 0; // random offset scale of the current cloud, 5..15
    long subdivideCalls = 0; // calls made by the last click

protected:
    void copyOwnState(const Mode& other) override
    {
        cloudRoughness = static_cast<const CloudsMode&>(other).cloudRoughness;
        subdivideCalls = static_cast<const CloudsMode&>(other).subdivideCalls;
    }
};

} // namespace tambrel
