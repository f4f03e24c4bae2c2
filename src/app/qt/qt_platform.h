// SPDX-License-Identifier: MIT
#pragma once
// The platform interface on Qt: pointer, the picture handed from the
// animation thread to the window, event pumping, clipboard and screen
// snapshot.

#include "app/pass_pauses.h"
#include "gfx/platform.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <optional>

namespace tambrel {
class CanvasWidget;
}

namespace tambrel {

class QtPlatform : public QObject, public Platform {
    Q_OBJECT
public:
    // canvas: what redraw repaints, and where the pointer is measured from.
    explicit QtPlatform(CanvasWidget* canvas);

    void pointerClientPosition(int& x, int& y) override;
    void redraw() override;
    void sleepMs(int ms) override;
    void doEvents(int ms) override;
    bool clearClipboard() override;
    void pressPrintScreen() override;
    bool getClipboardImage(Image& out) override;

    // The window is going away: a screenshot portal's wait ends.
    void setClosing();
    // While the window is minimised or hidden nothing is painted and the
    // pointer is not read.
    void setHidden(bool hidden);
    // Window thread: reads the pointer now, for the next pass. After a long
    // idle time (no passes, no paints) a mode switched on would otherwise
    // start from where the pointer was long ago.
    void pollPointer();
    // Window thread: while the program plays by itself the pointer is where
    // its hand puts it (canvas pixels), not where the mouse is.
    void setHand(std::optional<QPoint> canvasPoint);

protected:
    // A picture of the whole screen, or a null image where none can be had.
    virtual QImage takeScreen();

private:
    bool onWindowThread() const;

    CanvasWidget* m_canvas;
    std::optional<QPoint> m_hand;
    std::atomic<int> m_pointerX{0}, m_pointerY{0};
    std::atomic<bool> m_pointerFresh{false}, m_pointerPending{false}, m_hidden{false}, m_closing{false};

    PassPauses m_pauses;

    QImage m_snapshot; // the capture's picture between the print-screen press and its reading
};

} // namespace tambrel
