// SPDX-License-Identifier: MIT
#include "app/qt/screenshot_portal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

namespace tambrel {

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
} // namespace

ScreenshotPortal::ScreenshotPortal(QDBusConnection bus) : m_bus(std::move(bus)) {}

QImage ScreenshotPortal::take(const std::function<bool()>& abandon, int callTimeoutMs, int answerTimeoutMs)
{
    if (!m_bus.isConnected()) return {};
    m_answered = false;
    m_image = QImage();
    // The portal answers on a request object whose path follows from our
    // unique bus name and a token of ours: listen there before asking.
    const QString token = QStringLiteral("tambrel%1").arg(QRandomGenerator::global()->generate());
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath = QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token);
    m_bus.connect(kService, requestPath, kRequest, QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token},
                                     {QStringLiteral("interactive"), false},
                                     {QStringLiteral("modal"), false}};
    // Asked without blocking: the window goes on painting while the desktop
    // answers, and a look every tenth of a second notices a closing window.
    QDBusPendingCallWatcher reply(m_bus.asyncCall(call, callTimeoutMs));
    QEventLoop loop;
    QTimer look;
    look.start(100);
    QElapsedTimer clock;
    clock.start();
    auto waitFor = [&](const std::function<bool()>& done, qint64 untilMs) {
        while (!done() && clock.elapsed() < untilMs && !(abandon && abandon()))
            loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
        return done();
    };
    if (waitFor([&] { return reply.isFinished(); }, callTimeoutMs) && !reply.isError())
        waitFor([&] { return m_answered; }, clock.elapsed() + answerTimeoutMs);
    m_bus.disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), this,
                     SLOT(onResponse(uint, QVariantMap)));
    return m_image;
}

void ScreenshotPortal::onResponse(uint response, const QVariantMap& results)
{
    m_answered = true;
    if (response != 0) return; // cancelled or failed
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (uri.isLocalFile()) m_image = QImage(uri.toLocalFile());
}

} // namespace tambrel
