// SPDX-License-Identifier: MIT
#include "app/qt/screenshot_portal.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace tambrel {
namespace {

// A private session bus with the fake portal on it, for the length of a test.
struct PrivateBus {
    explicit PrivateBus(const QString& picture, const QStringList& delays = {})
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForReadyRead(5000)) return;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        if (!picture.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DBUS_SESSION_BUS_ADDRESS", address);
            portal.setProcessEnvironment(env);
            portal.start(TAMBREL_FAKE_PORTAL, QStringList{picture} + delays);
        }
    }
    ~PrivateBus()
    {
        portal.kill();
        portal.waitForFinished();
        daemon.kill();
        daemon.waitForFinished();
    }
    QDBusConnection connect(const QString& name)
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        for (int i = 0; i < 100 && portal.state() != QProcess::NotRunning; ++i) {
            if (bus.interface() && bus.interface()->isServiceRegistered("org.freedesktop.portal.Desktop")) break;
            QTest::qWait(50);
        }
        return bus;
    }

    QProcess daemon, portal;
    QString address;
};

TEST(ScreenshotPortal, TakesThePictureTheDesktopPortalServes)
{
    QTemporaryDir dir;
    QImage known(800, 600, QImage::Format_RGB32);
    known.fill(QColor(12, 34, 56));
    known.setPixelColor(5, 7, Qt::red);
    const QString file = dir.filePath("screen.png");
    ASSERT_TRUE(known.save(file));

    PrivateBus bus(file);
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    ScreenshotPortal portal(bus.connect("portal-test"));
    const QImage shot = portal.take();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(800, 600));
    EXPECT_EQ(shot.pixelColor(5, 7), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(400, 300), QColor(12, 34, 56));
    EXPECT_FALSE(portal.take().isNull()) << "and again";
}

// A portal slow to reply and a user slow to allow the screenshot: the window
// keeps handling its events meanwhile (its timers fire, it repaints), the
// picture still comes, and a closing window stops the wait at once.
TEST(ScreenshotPortal, WaitsForASlowPortalAndAPromptWithoutFreezing)
{
    QTemporaryDir dir;
    QImage known(64, 48, QImage::Format_RGB32);
    known.fill(QColor(1, 2, 3));
    const QString file = dir.filePath("screen.png");
    ASSERT_TRUE(known.save(file));
    PrivateBus bus(file, {"1500", "6000"});
    ASSERT_FALSE(bus.address.isEmpty());
    ScreenshotPortal portal(bus.connect("slow-portal-test"));

    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(20);
    clock.start();
    const QImage shot = portal.take();
    EXPECT_EQ(shot.size(), QSize(64, 48)) << "the answer after a six-second prompt";
    EXPECT_LT(longestGap, 1000) << "the window's events stood still for " << longestGap << " ms";

    bool closing = false;
    QTimer::singleShot(300, [&] { closing = true; });
    clock.restart();
    EXPECT_TRUE(portal.take([&] { return closing; }).isNull());
    EXPECT_LT(clock.elapsed(), 4000) << "a closing window does not wait for the portal";
}

TEST(ScreenshotPortal, NoPortalMeansNoPicture)
{
    PrivateBus bus({});
    ASSERT_FALSE(bus.address.isEmpty());
    ScreenshotPortal portal(bus.connect("no-portal-test"));
    EXPECT_TRUE(portal.take({}, 2000).isNull());
    EXPECT_TRUE(ScreenshotPortal(QDBusConnection(QString())).take().isNull()) << "no bus at all";
}

} // namespace
} // namespace tambrel
