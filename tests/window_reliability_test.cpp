// SPDX-License-Identifier: MIT
// The window under hostile screen pictures and closes at awkward moments.

#include "app/qt/qt_app.h"
#include "modes/capture.h"
#include "test_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace tambrel {
namespace {

// The screen is whatever picture the test chose.
class HostilePlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    std::function<QImage()> screen = [] { return QImage(); };

protected:
    QImage takeScreen() override { return screen(); }
};

QImage filled(int w, int h, QImage::Format format, QColor colour)
{
    QImage img(w, h, format);
    if (format == QImage::Format_Indexed8) {
        img.setColorTable({colour.rgb(), qRgb(1, 2, 3)});
        img.fill(0);
    } else {
        img.fill(colour);
    }
    return img;
}

TEST(HostileScreen, CaptureAlwaysSwitchesOnAndShowsWhatItCan)
{
    struct Case {
        const char* name;
        QImage screen;
        QColor topLeft; // expected at the canvas's (0, 0); invalid: black
    };
    const Case cases[] = {
        {"no picture", QImage(), QColor()},
        {"1 x 1", filled(1, 1, QImage::Format_RGB32, QColor(10, 20, 30)), QColor(10, 20, 30)},
        {"far larger than the screen", filled(6000, 4000, QImage::Format_RGB32, QColor(200, 100, 50)), QColor(200, 100, 50)},
        {"with alpha", filled(300, 200, QImage::Format_ARGB32, QColor(0, 255, 0, 128)), QColor(0, 255, 0)},
        {"indexed palette", filled(640, 480, QImage::Format_Indexed8, QColor(90, 80, 70)), QColor(90, 80, 70)},
        {"zero width", QImage(0, 10, QImage::Format_RGB32), QColor()},
    };
    for (const Case& k : cases) {
        BasicQtApp<HostilePlatform> app(5);
        app.platform.screen = [&k] { return k.screen; };
        app.show();
        app.dialog.button(1013)->click();
        std::lock_guard lock(app.program.stateLock);
        EXPECT_TRUE(app.program.mode(test::kCapture).isOn) << k.name;
        const QColor expected = k.topLeft.isValid() ? k.topLeft : QColor(Qt::black);
        EXPECT_EQ(app.program.canvas.getPixel(0, 0), rgb(expected.red(), expected.green(), expected.blue())) << k.name;
        app.program.frameLoop().pass(); // a smear and a scatter read the buffer safely
        app.program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
    }
}

// Closing in every mode, during a click reaction's pause and during a
// capture's waits: the window always closes and the thread always ends.
TEST(Closing, AtEveryAwkwardMoment)
{
    int closes = 0;
    const test::SoakClock soak;
    for (int round = 0; soak.more(round, 210); ++round) {
        QtApp app(static_cast<uint32_t>(round));
        app.show();
        const int mode = round % kModeCount;
        app.dialog.button(kModeTable[static_cast<size_t>(mode)].buttonId)->click();
        // A close request waiting in the queue: it lands in the capture's
        // event waits, or right after a click reaction's pause.
        QMetaObject::invokeMethod(&app.dialog, "close", Qt::QueuedConnection);
        if (round % 3 == 0) app.dialog.button(1013)->click();
        else if (round % 3 == 1) app.program.onDialogEvent({DialogMessage::Command, kCanvasId, kClicked, false});
        QTest::qWait(round % 4);
        QCoreApplication::processEvents();
        app.dialog.close();
        EXPECT_TRUE(app.program.exitRequested.load());
        app.program.finish();
        ++closes;
    }
    RecordProperty("closes", closes);
    std::printf("closing: %d closes, each ended the thread\n", closes);
}

// Tearing the window down while a frame waits for its paint, with no close
// before it (as when the event loop ends for another reason), must not
// leave the joining window thread and the waiting animation thread stuck.
TEST(Closing, TeardownWithoutACloseWhileAFrameWaitsForItsPaint)
{
    for (int round = 0; round < 20; ++round) {
        QtApp app(static_cast<uint32_t>(round));
        app.show();
        app.dialog.button(1015)->click();
        QTest::qWait(25); // frames are being painted; the next one waits for this thread
    } // the destructor shuts down without the window having been closed
}

} // namespace
} // namespace tambrel
