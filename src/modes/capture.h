// SPDX-License-Identifier: MIT
#pragma once
// Screen capture degrader: switching on copies the top-left of a screen
// snapshot onto the canvas; every frame then smears random rows down and
// random columns right. A click scatters every pixel a little.

#include "modes/mode.h"

namespace tambrel {

class CaptureMode final : public Mode {
public:
    using Mode::Mode;
    void initState() override;
    void start() override;
    void onCanvasClick(int x, int y) override;
    void stepFrame(int mouseX, int mouseY) override;

private:
    void blend(int tx, int ty, int32_t source);
    void reloadBuffer();

protected:
    void copyOwnState(const Mode&) override {} // its picture lives in the shared buffer
};

} // namespace tambrel
