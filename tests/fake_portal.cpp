// SPDX-License-Identifier: MIT
// A stand-in for the desktop portal's Screenshot interface on a private bus:
// every request is answered with the same known picture.
//   fake_portal PICTURE.png   (on the bus in DBUS_SESSION_BUS_ADDRESS)

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QUrl>

class FakeScreenshot : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    explicit FakeScreenshot(QString picture) : m_picture(std::move(picture)) {}

public slots:
    QDBusObjectPath Screenshot(const QString&, const QVariantMap& options, const QDBusMessage& message)
    {
        QString sender = message.service().mid(1);
        sender.replace('.', '_');
        const QString path = QString("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender, options.value("handle_token").toString());
        // The answer comes as a signal on the request object, after the reply.
        QTimer::singleShot(20, this, [this, path] {
            QDBusMessage response = QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
            response << 0u << QVariantMap{{"uri", QUrl::fromLocalFile(m_picture).toString()}};
            QDBusConnection::sessionBus().send(response);
        });
        return QDBusObjectPath(path);
    }

private:
    QString m_picture;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) return 2;
    FakeScreenshot portal(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal, QDBusConnection::ExportAllSlots)) return 3;
    if (!bus.registerService("org.freedesktop.portal.Desktop")) return 4;
    return app.exec();
}

#include "fake_portal.moc"
