// SPDX-License-Identifier: MIT
#pragma once
// Psychedelic rings: two to four sets of thick rings flow outwards from their
// centres, all drawn with exclusive-or so that crossings interfere. The last
// centre follows the pointer; a click makes a new set.

#include "modes/mode.h"

#include <vector>

namespace tambrel {

struct RingSource {
    double x = 0, y = 0;
    double width = 0; // pen width and half the ring spacing, 8..22
    double phase = 0; // added to every ring's radius, within (-width, width]
};

struct PsycheState {
    int psycheCount = 0; // centres M
    std::vector<RingSource> psycheSources;
    std::vector<int32_t> psycheColours;
};

class PsycheMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

    PsycheState s;

private:
    std::vector<Canvas::RingSet> m_rings; // one frame's rings, reused

protected:
    void copyOwnState(const Mode& other) override { s = static_cast<const PsycheMode&>(other).s; }
};

} // namespace tambrel
