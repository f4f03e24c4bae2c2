// SPDX-License-Identifier: MIT
#pragma once
// A picture of the whole screen through the desktop portal's Screenshot
// interface, for desktops (Wayland) where an application may not read the
// screen itself. Non-interactive: the user is not asked to pick anything.

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace tambrel {

class ScreenshotPortal : public QObject {
    Q_OBJECT
public:
    explicit ScreenshotPortal(QDBusConnection bus = QDBusConnection::sessionBus());
    // The snapshot, or a null image when there is no portal, it refuses, or
    // it does not answer: the call within callTimeoutMs, the picture (which
    // may wait for the user to allow it in a prompt of the desktop's) within
    // answerTimeoutMs after that, and never once `abandon` says so (the
    // window is closing). Events other than user input are handled all the
    // while, so the window keeps painting.
    QImage take(const std::function<bool()>& abandon = {}, int callTimeoutMs = 5000, int answerTimeoutMs = 60000);

private slots:
    void onResponse(uint response, const QVariantMap& results);

private:
    QDBusConnection m_bus;
    bool m_answered = false;
    QImage m_image;
};

} // namespace tambrel
