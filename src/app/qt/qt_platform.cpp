// SPDX-License-Identifier: MIT
#include "app/qt/qt_platform.h"

#include "app/layout.h"
#include "app/qt/canvas_widget.h"
#include "app/qt/image_convert.h"
#include "app/qt/screenshot_portal.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <thread>

namespace tambrel {

QtPlatform::QtPlatform(CanvasWidget* canvas) : m_canvas(canvas) { pollPointer(); }

bool QtPlatform::onWindowThread() const { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// QCursor::pos() belongs to the window thread: read there, published for the
// animation thread, as the client position of the surface pixel under it.
void QtPlatform::pollPointer()
{
    if (m_hand) { // as the canvas pixel the hand is over
        m_pointerX.store(m_hand->x() + 5);
        m_pointerY.store(m_hand->y() + 5);
        m_pointerFresh.store(true);
        m_pointerPending.store(false);
        return;
    }
    const QPoint local = m_canvas->mapFromGlobal(QCursor::pos());
    const QPoint surface = m_canvas->surfacePosition(local);
    constexpr int kSurfaceLeft = layout::kCanvas.left + layout::kCanvasFrame;
    constexpr int kSurfaceTop = layout::kCanvas.top + layout::kCanvasFrame;
    m_pointerX.store(surface.x() + kSurfaceLeft);
    m_pointerY.store(surface.y() + kSurfaceTop);
    m_pointerFresh.store(true);
    m_pointerPending.store(false);
}

void QtPlatform::pointerClientPosition(int& x, int& y)
{
    if (onWindowThread()) {
        pollPointer();
    } else if (!m_pointerFresh.exchange(false) && !m_hidden.load() && !m_pointerPending.exchange(true)) {
        // Once a pass at most: each paint reads the pointer for the next pass,
        // and a pass after none asks the window thread for it. Nothing polls
        // while the window is minimised or no mode is on.
        QMetaObject::invokeMethod(this, &QtPlatform::pollPointer, Qt::QueuedConnection);
    }
    x = m_pointerX.load();
    y = m_pointerY.load();
}

void QtPlatform::setHand(std::optional<QPoint> canvasPoint)
{
    m_hand = canvasPoint;
    pollPointer();
}

void QtPlatform::setHidden(bool hidden) { m_hidden.store(hidden); }

// The picture is the window's once handed over; the animation thread goes
// on to its pause at once, and the window presents it when it gets to it.
void QtPlatform::redraw()
{
    if (onWindowThread()) {
        m_canvas->handOverSurface();
        m_canvas->repaint(m_canvas->shownRect());
        return;
    }
    if (m_hidden.load()) return; // nothing to show on: a restored window shows the surface as it is then
    if (m_canvas->handOverSurface())
        QMetaObject::invokeMethod(
            m_canvas,
            [this] {
                m_canvas->repaint(m_canvas->shownRect()); // the newest picture, whichever came last
                pollPointer();       // for the next pass, while the window thread is awake anyway
            },
            Qt::QueuedConnection);
}

void QtPlatform::setClosing() { m_closing.store(true); }

// A click reaction's pause on the window thread delays the next pass and
// leaves the window answering; the animation thread's own pause is a sleep.
void QtPlatform::sleepMs(int ms)
{
    if (onWindowThread()) m_pauses.postpone(ms);
    else m_pauses.sleep(ms);
}

void QtPlatform::doEvents(int ms)
{
    // User input waits in the queue until the command under way has finished,
    // so no second mode can switch on during a capture.
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    const bool handled = dispatcher && dispatcher->processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!handled) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The capture's clipboard is the program's own: the picture goes from the
// screen straight to the mode, and what the user copied stays where it is.
bool QtPlatform::clearClipboard()
{
    m_snapshot = QImage();
    return true;
}

void QtPlatform::pressPrintScreen() { m_snapshot = takeScreen(); }

QImage QtPlatform::takeScreen()
{
    // Where the window system lets us read the screen (X11, offscreen), take it
    // directly; on Wayland an application may not, so ask the desktop portal.
    QImage shot;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        shot = screen->grabWindow(0).toImage();
    if (shot.isNull()) shot = ScreenshotPortal().take([this] { return m_closing.load(); });
    return shot;
}

bool QtPlatform::getClipboardImage(Image& out)
{
    const QImage shot = std::exchange(m_snapshot, QImage());
    if (shot.isNull()) return false;
    out = imageFromQImage(shot);
    return out.width > 0 && out.height > 0;
}

} // namespace tambrel
