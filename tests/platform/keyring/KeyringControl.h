#pragma once

// Locks and unlocks the test run's login keyring over D-Bus, for tests that need a locked Secret Service.
// Header-only so the backend's tests can use it too (tests/ is on every test's include path).

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMetaType>

namespace brelta::testsupport::keyring {

// The Secret Service's secret value, (oayays), as UnlockWithMasterPassword takes it.
struct MasterSecret
{
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

inline QDBusArgument &operator<<(QDBusArgument &argument, const MasterSecret &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument &operator>>(const QDBusArgument &argument, MasterSecret &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

inline const QString kSecretsService = QStringLiteral("org.freedesktop.secrets");
inline const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
// scripts/services/start unlocks the test keyring with this password.
inline const QByteArray kKeyringPassword = "brelta-test";

inline QDBusMessage callSecretService(const QString &interface, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kSecretsService, QStringLiteral("/org/freedesktop/secrets"), interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

inline QDBusObjectPath defaultCollection()
{
    const QDBusMessage reply =
        callSecretService(kServiceInterface, QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    return reply.arguments().value(0).value<QDBusObjectPath>();
}

inline bool lockKeyring()
{
    const QDBusMessage reply = callSecretService(kServiceInterface, QStringLiteral("Lock"),
                                                 {QVariant::fromValue(QList<QDBusObjectPath>{defaultCollection()})});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// The service's own Unlock needs a prompt, which a headless session cannot show; gnome-keyring's internal
// interface takes the password directly, inside a plain session of this connection.
inline bool unlockKeyring()
{
    static const QMetaType registered = qDBusRegisterMetaType<MasterSecret>();
    Q_UNUSED(registered);
    const QDBusMessage session =
        callSecretService(kServiceInterface, QStringLiteral("OpenSession"),
                          {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.type() != QDBusMessage::ReplyMessage)
        return false;
    const MasterSecret secret{
        session.arguments().value(1).value<QDBusObjectPath>(), {}, kKeyringPassword, QStringLiteral("text/plain")};
    const QDBusMessage reply =
        callSecretService(QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                          QStringLiteral("UnlockWithMasterPassword"),
                          {QVariant::fromValue(defaultCollection()), QVariant::fromValue(secret)});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Locks the keyring for its lifetime; unlocks it again however the test ends.
class LockedKeyring
{
public:
    LockedKeyring() : m_locked(lockKeyring()) {}
    ~LockedKeyring() { unlock(); }
    LockedKeyring(const LockedKeyring &) = delete;
    LockedKeyring &operator=(const LockedKeyring &) = delete;

    bool isLocked() const { return m_locked; }
    bool unlock()
    {
        if (m_locked && unlockKeyring())
            m_locked = false;
        return !m_locked;
    }

private:
    bool m_locked;
};

} // namespace brelta::testsupport::keyring

Q_DECLARE_METATYPE(brelta::testsupport::keyring::MasterSecret)
