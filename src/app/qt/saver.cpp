// SPDX-License-Identifier: MIT
#include "app/qt/saver.h"

#include "app/autopilot.h"
#include "app/dialog_view.h"
#include "app/program.h"
#include "app/qt/canvas_widget.h"
#include "app/qt/qt_platform.h"
#include "app/record_file.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace tambrel {

namespace {

constexpr int kNoWindow = 1, kRecordingLost = 3;
constexpr int kHandEveryMs = 10, kRecordEveryMs = 1000, kParentEveryMs = 250;
// A move of the mouse further than this ends a saver in a window of its
// own; a nudge of the desk does not.
constexpr int kMoveThatEnds = 8;

int quitPipe[2] = {-1, -1};
void onQuitSignal(int)
{
    const char c = 0;
    [[maybe_unused]] const ssize_t n = write(quitPipe[1], &c, 1);
}

xcb_connection_t* x11()
{
    auto* app = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return app ? app->connection() : nullptr;
}

// The size of an X window in device pixels; nothing once it has gone.
std::optional<QSize> windowSize(xcb_window_t window)
{
    xcb_connection_t* c = x11();
    if (!c) return std::nullopt;
    xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!reply) return std::nullopt;
    const QSize size(reply->width, reply->height);
    std::free(reply);
    return size;
}

xcb_window_t rootWindow()
{
    xcb_connection_t* c = x11();
    return c ? xcb_setup_roots_iterator(xcb_get_setup(c)).data->root : 0;
}

// In a window of its own the user's input ends the show, as any
// screensaver's does.
class EndOnInput : public QObject {
public:
    explicit EndOnInput(QPoint from) : m_from(from) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            QCoreApplication::exit(0);
            return true;
        case QEvent::MouseMove:
            if ((static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_from).manhattanLength() > kMoveThatEnds)
                QCoreApplication::exit(0);
            return true;
        default:
            return false;
        }
    }

private:
    QPoint m_from;
};

// The passes go at their pace, the pictures at the screen's: a paint takes
// the surface as it is then. A picture the screen would never show is
// neither copied nor drawn, which in whole blocks at full screen is most
// of a saver's work.
class SaverPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    void redraw() override { m_drawn.store(true); }
    bool drawnSinceLastAsked() { return m_drawn.exchange(false); }

private:
    std::atomic<bool> m_drawn{true};
};

} // namespace

void prepareSaver()
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    // Threads made later (the animation thread among them) inherit it.
    setpriority(PRIO_PROCESS, 0, 19);
}

int runSaver(const SaverOptions& options)
{
    if (pipe(quitPipe) != 0) return kNoWindow;
    QSocketNotifier quitNotifier(quitPipe[0], QSocketNotifier::Read);
    // exit, not quit: quit asks the windows to close first, and a window
    // inside another program's may not.
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [] { QCoreApplication::exit(0); });
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, onQuitSignal);

    xcb_window_t parent = 0;
    if (options.where == SaverOptions::Where::Given) parent = static_cast<xcb_window_t>(options.windowId);
    if (options.where == SaverOptions::Where::Root) parent = rootWindow();
    if (options.where != SaverOptions::Where::OwnWindow) {
        if (!x11()) {
            std::fprintf(stderr, "tambrel: --window-id and --root draw on X11 only\n");
            return kNoWindow;
        }
        if (!windowSize(parent)) {
            std::fprintf(stderr, "tambrel: there is no window 0x%lx to draw into\n", static_cast<unsigned long>(parent));
            return kNoWindow;
        }
    }

    CanvasWidget canvas(nullptr, CanvasWidget::Look::Bare);
    canvas.setCursor(Qt::BlankCursor);
    canvas.setWindowTitle(QStringLiteral("Tambrel"));
    SaverPlatform platform(&canvas);
    MemoryDialogView view; // no buttons to show
    Program program(platform, view);
    program.rnd.setState(options.seed);
    canvas.attach(&program);
    program.buildMainWindow();

    RecordFile record(program);
    if (!options.record.isEmpty()) {
        std::string error;
        if (!record.start(QFile::encodeName(options.record).toStdString(), error)) {
            std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", qPrintable(options.record), error.c_str());
            return kRecordingLost;
        }
    }
    auto keep = [&](bool always) {
        std::string error;
        const RecordFile::Write write = record.update(always, error);
        if (write == RecordFile::Write::Failed)
            std::fprintf(stderr, "tambrel: cannot write the session to %s: %s\n", qPrintable(options.record), error.c_str());
        return write != RecordFile::Write::Failed && write != RecordFile::Write::FailedAgain;
    };
    QTimer recordTimer;
    QObject::connect(&recordTimer, &QTimer::timeout, [&] { keep(false); });
    if (record.active()) recordTimer.start(kRecordEveryMs);

    // The hand: its moves go in as a person's would, recorded.
    Autopilot pilot({options.seed, options.secondsPerMode, false});
    platform.setHand(QPoint(Canvas::kWidth / 2, Canvas::kHeight / 2));
    QElapsedTimer clock;
    QTimer handTimer;
    handTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&handTimer, &QTimer::timeout, [&] {
        const Autopilot::Move move = pilot.next(static_cast<uint32_t>(clock.elapsed()));
        platform.setHand(QPoint(move.x, move.y));
        giveMove(program, move);
    });

    // Into the given window, filling it, following its size until it goes.
    QTimer parentTimer;
    std::unique_ptr<EndOnInput> endOnInput;
    if (parent) {
        canvas.setAttribute(Qt::WA_NativeWindow);
        canvas.winId();
        QWindow* host = QWindow::fromWinId(parent);
        canvas.windowHandle()->setParent(host);
        if (options.where == SaverOptions::Where::Root) canvas.windowHandle()->setFlag(Qt::BypassWindowManagerHint);
        auto follow = [&] {
            const std::optional<QSize> size = windowSize(parent);
            if (!size) return QCoreApplication::exit(0); // the window it was given has gone
            if (canvas.size() != *size) canvas.setGeometry(QRect(QPoint(0, 0), *size));
        };
        follow();
        QObject::connect(&parentTimer, &QTimer::timeout, follow);
        parentTimer.start(kParentEveryMs);
        canvas.show();
        if (options.where == SaverOptions::Where::Root) canvas.lower(); // under every window, as a background
    } else {
        endOnInput = std::make_unique<EndOnInput>(QCursor::pos());
        canvas.setMouseTracking(true);
        canvas.installEventFilter(endOnInput.get());
        // The screen's size first: without a window manager, full screen
        // is only a wish and the window would keep its own size.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) canvas.setGeometry(screen->geometry());
        canvas.showFullScreen();
    }

    // The surface, if a pass drew on it, at each refresh of the screen.
    QTimer paintTimer;
    paintTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&paintTimer, &QTimer::timeout, [&] {
        if (platform.drawnSinceLastAsked()) canvas.showSurfaceChanges();
    });
    const qreal hz = canvas.screen() ? canvas.screen()->refreshRate() : 60;
    paintTimer.start(std::clamp(static_cast<int>(1000 / std::max<qreal>(hz, 1)), 8, 33));

    program.startAnimation();
    clock.start();
    handTimer.start(kHandEveryMs);
    QCoreApplication::exec();

    handTimer.stop();
    platform.setClosing();
    program.finish();
    if (record.active() && !keep(true)) return kRecordingLost;
    return 0;
}

} // namespace tambrel
