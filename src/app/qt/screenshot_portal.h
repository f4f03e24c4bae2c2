// SPDX-License-Identifier: MIT
#pragma once
// A picture of the whole screen through the desktop portal's Screenshot
// interface, for desktops (Wayland) where an application may not read the
// screen itself. Non-interactive: the user is not asked to pick anything.

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QVariantMap>

namespace tambrel {

class ScreenshotPortal : public QObject {
    Q_OBJECT
public:
    explicit ScreenshotPortal(QDBusConnection bus = QDBusConnection::sessionBus());
    // The snapshot, or a null image when there is no portal, it refuses, or
    // it does not answer within timeoutMs. Events other than user input are
    // handled while waiting.
    QImage take(int timeoutMs = 5000);

private slots:
    void onResponse(uint response, const QVariantMap& results);

private:
    QDBusConnection m_bus;
    bool m_answered = false;
    QImage m_image;
};

} // namespace tambrel
