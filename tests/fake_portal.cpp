// SPDX-License-Identifier: MIT
// A stand-in for the desktop portal's Screenshot interface on a private bus:
// every request is answered with the same known picture, the call's reply
// and the picture each after a delay if asked (a slow portal, a user who
// takes a while to allow the screenshot in a prompt).
//   fake_portal PICTURE.png [REPLY_MS [ANSWER_MS]]   (on the bus in DBUS_SESSION_BUS_ADDRESS)

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QUrl>

#include <cstdlib>

class FakeScreenshot : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    FakeScreenshot(QString picture, int replyMs, int answerMs)
        : m_picture(std::move(picture)), m_replyMs(replyMs), m_answerMs(answerMs) {}

public slots:
    QDBusObjectPath Screenshot(const QString&, const QVariantMap& options, const QDBusMessage& message)
    {
        QString sender = message.service().mid(1);
        sender.replace('.', '_');
        const QString path = QString("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender, options.value("handle_token").toString());
        message.setDelayedReply(true);
        QTimer::singleShot(m_replyMs, this, [this, message, path] {
            QDBusConnection::sessionBus().send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
            // The answer comes as a signal on the request object, after the reply.
            QTimer::singleShot(m_answerMs, this, [this, path] {
                QDBusMessage response = QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
                response << 0u << QVariantMap{{"uri", QUrl::fromLocalFile(m_picture).toString()}};
                QDBusConnection::sessionBus().send(response);
            });
        });
        return {};
    }

private:
    QString m_picture;
    int m_replyMs, m_answerMs;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 4) return 2;
    FakeScreenshot portal(QString::fromLocal8Bit(argv[1]), argc > 2 ? std::atoi(argv[2]) : 0,
                          argc > 3 ? std::atoi(argv[3]) : 20);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal, QDBusConnection::ExportAllSlots)) return 3;
    if (!bus.registerService("org.freedesktop.portal.Desktop")) return 4;
    return app.exec();
}

#include "fake_portal.moc"
