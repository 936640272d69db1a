#include "platform/keyring/SecretServiceProbe.h"

#include <QCoroDBusPendingCall>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QMap>

namespace brelta::platform {

QCoro::Task<SecretServiceProbe::Presence> SecretServiceProbe::findItems(QString service, QString account,
                                                                        std::chrono::milliseconds timeout)
{
    Presence presence;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        presence.error = QStringLiteral("no session bus");
        co_return presence;
    }

    // a{ss} has no built-in D-Bus signature; registering twice is harmless.
    static const QMetaType attributesType = qDBusRegisterMetaType<QMap<QString, QString>>();
    Q_UNUSED(attributesType);

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    const QMap<QString, QString> attributes{{QStringLiteral("user"), account}, {QStringLiteral("server"), service}};
    call << QVariant::fromValue(attributes);

    // The pending call is awaited by name (CODING.md, "Coroutines").
    QDBusPendingCall pending = bus.asyncCall(call, int(timeout.count()));
    QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply = co_await pending;
    if (reply.isError()) {
        presence.error = reply.error().name() + QStringLiteral(": ") + reply.error().message();
        presence.serviceMissing = reply.error().type() == QDBusError::ServiceUnknown;
        co_return presence;
    }
    presence.answered = true;
    presence.unlockedItems = int(reply.argumentAt<0>().size());
    presence.lockedItems = int(reply.argumentAt<1>().size());
    co_return presence;
}

} // namespace brelta::platform
