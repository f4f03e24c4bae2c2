// SPDX-License-Identifier: MIT
#pragma once
// The mode interface every animation mode plugs into, and what the modes
// share: the canvas, the random generator, the platform, the frame values of
// the animation thread and the capture picture buffer. All of it is guarded
// by the program's state lock; a mode never locks anything itself.

#include "gfx/canvas.h"
#include "gfx/platform.h"
#include "gfx/rnd.h"

#include <cstdint>
#include <vector>

namespace tambrel {

// The pointer as an obstacle for the colliding balls.
struct PointerBall {
    double x = 0, y = 0, radius = 0;
};

// Values that live as long as the animation thread; all start at 0.
struct FrameValues {
    int mouseX = 0, mouseY = 0;         // read once at the start of each pass
    int prevMouseX = 0, prevMouseY = 0; // kept from pass to pass, shared by modes
    bool redrawRequested = false;
    PointerBall pointerBall;
    int wheelAngle = 0; // turn of the colliding balls' pointer spikes, degrees
};

// 601 x 513 packed colours, x 0..600 and y 0..512: the capture mode's copy of
// the picture, shared with the shade-bob brush.
class PixelBuffer {
public:
    static constexpr int kWidth = 601;
    static constexpr int kHeight = 513;

    void create() { m_cells.assign(static_cast<size_t>(kWidth) * kHeight, 0); }
    bool exists() const { return !m_cells.empty(); }
    int32_t& at(int x, int y) { return m_cells[static_cast<size_t>(x) * kHeight + y]; }
    int32_t at(int x, int y) const { return m_cells[static_cast<size_t>(x) * kHeight + y]; }

private:
    std::vector<int32_t> m_cells; // column-major, as the modes walk it
};

struct ModeContext {
    Canvas& canvas;
    Rnd& rnd;
    Platform& platform;
    FrameValues& frame;
    PixelBuffer& pixelBuffer;
};

class Mode {
public:
    explicit Mode(ModeContext& ctx) : m_ctx(ctx) {}
    virtual ~Mode() = default;
    Mode(const Mode&) = delete;
    Mode& operator=(const Mode&) = delete;

    bool isOn = false;

    // Once at start-up, in button order: this order fixes each mode's randoms.
    virtual void initState() = 0;
    // Work done when the mode's button switches it on (most modes have none).
    virtual void start() {}
    // Window thread: a click or double click on the canvas while the mode is on.
    virtual void onCanvasClick(int x, int y) = 0;
    // Animation thread: one frame while the mode is on.
    virtual void stepFrame(int /*mouseX*/, int /*mouseY*/) {}
    // Takes the whole state of the same mode of another program (a
    // checkpoint that a clip starts from), flag included.
    void copyStateFrom(const Mode& other)
    {
        isOn = other.isOn;
        copyOwnState(other);
    }

protected:
    // The mode's own variables from `other`, which is the same kind of mode.
    virtual void copyOwnState(const Mode& other) = 0;

    Canvas& canvas() { return m_ctx.canvas; }
    double rnd() { return m_ctx.rnd.next(); }
    Platform& platform() { return m_ctx.platform; }
    FrameValues& frame() { return m_ctx.frame; }
    PixelBuffer& pixelBuffer() { return m_ctx.pixelBuffer; }

private:
    ModeContext& m_ctx;
};

} // namespace tambrel
