#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QTest>
#include <QUuid>

using brelta::platform::SecretItem;
using brelta::platform::SecretRead;
using brelta::platform::SecretStore;
using brelta::platform::SecretWrite;
using brelta::testsupport::awaitTask;

namespace {

// The Secret Service's secret value, (oayays), as UnlockWithMasterPassword takes it.
struct MasterSecret
{
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument &operator<<(QDBusArgument &argument, const MasterSecret &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, MasterSecret &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(MasterSecret)

namespace {

const QString kSecretsService = QStringLiteral("org.freedesktop.secrets");
const QString kSecretsPath = QStringLiteral("/org/freedesktop/secrets");
// scripts/services/start unlocks the test keyring with this password.
const QByteArray kKeyringPassword = "brelta-test";

QDBusMessage callSecretService(const QString &interface, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kSecretsService, kSecretsPath, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

QDBusObjectPath defaultCollection()
{
    const QDBusMessage reply = callSecretService(QStringLiteral("org.freedesktop.Secret.Service"),
                                                 QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    return reply.arguments().value(0).value<QDBusObjectPath>();
}

bool lockKeyring()
{
    const QDBusMessage reply =
        callSecretService(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                          {QVariant::fromValue(QList<QDBusObjectPath>{defaultCollection()})});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Unlocking through the service's Unlock needs a prompt, which a headless session cannot show; gnome-keyring's
// own interface takes the password directly, inside a plain session of this connection.
bool unlockKeyring()
{
    const QDBusMessage session =
        callSecretService(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
                          {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.type() != QDBusMessage::ReplyMessage)
        return false;
    const MasterSecret secret{session.arguments().value(1).value<QDBusObjectPath>(), {}, kKeyringPassword,
                              QStringLiteral("text/plain")};
    const QDBusMessage reply = callSecretService(
        QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
        QStringLiteral("UnlockWithMasterPassword"),
        {QVariant::fromValue(defaultCollection()), QVariant::fromValue(secret)});
    return reply.type() == QDBusMessage::ReplyMessage;
}

SecretItem freshItem()
{
    return {QStringLiteral("com.brelta.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces),
            QStringLiteral("brelta")};
}

} // namespace

class SecretStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qDBusRegisterMetaType<MasterSecret>();
        QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(kSecretsService),
                 "run under scripts/test: it starts the Secret Service");
    }

    void storesReadsAndReplacesText()
    {
        SecretStore store;
        const SecretItem item = freshItem();
        QCOMPARE(awaitTask(store.write(item, QStringLiteral("first"))).value->status, SecretWrite::Status::Done);
        QCOMPARE(awaitTask(store.write(item, QStringLiteral("sëcond ✓"))).value->status, SecretWrite::Status::Done);

        const auto read = awaitTask(store.read(item));
        QVERIFY(read.succeeded());
        QCOMPARE(read.value->status, SecretRead::Status::Found);
        QCOMPARE(read.value->value, QStringLiteral("sëcond ✓"));

        // A second store (another launch) sees the same item.
        SecretStore other;
        QCOMPARE(awaitTask(other.read(item)).value->value, QStringLiteral("sëcond ✓"));
    }

    void anItemNeverWrittenIsAbsent()
    {
        SecretStore store;
        const auto read = awaitTask(store.read(freshItem()));
        QVERIFY(read.succeeded());
        QCOMPARE(read.value->status, SecretRead::Status::Absent);
    }

    void theLastWriteAskedForStays()
    {
        SecretStore store;
        const SecretItem item = freshItem();
        // Started together; the first runs, the second is overtaken by the third while it waits.
        auto first = store.write(item, QStringLiteral("one"));
        auto second = store.write(item, QStringLiteral("two"));
        auto third = store.write(item, QStringLiteral("three"));
        QCOMPARE(awaitTask(std::move(first)).value->status, SecretWrite::Status::Done);
        QCOMPARE(awaitTask(std::move(second)).value->status, SecretWrite::Status::Superseded);
        QCOMPARE(awaitTask(std::move(third)).value->status, SecretWrite::Status::Done);
        QCOMPARE(awaitTask(store.read(item)).value->value, QStringLiteral("three"));

        // A removal asked for after a write wins too, and a write after the removal wins over it.
        auto write = store.write(item, QStringLiteral("four"));
        auto removal = store.remove(item);
        QVERIFY(!awaitTask(std::move(write)).value->failed());
        QCOMPARE(awaitTask(std::move(removal)).value->status, SecretWrite::Status::Done);
        QCOMPARE(awaitTask(store.read(item)).value->status, SecretRead::Status::Absent);
    }

    void removesAnItem()
    {
        SecretStore store;
        const SecretItem item = freshItem();
        QVERIFY(!awaitTask(store.write(item, QStringLiteral("gone soon"))).value->failed());
        QCOMPARE(awaitTask(store.remove(item)).value->status, SecretWrite::Status::Done);
        QCOMPARE(awaitTask(store.read(item)).value->status, SecretRead::Status::Absent);
        // Removing what is not there is not a failure.
        QCOMPARE(awaitTask(store.remove(item)).value->status, SecretWrite::Status::Done);
    }

    void aLockedKeyringIsNotAbsence()
    {
        SecretStore store;
        const SecretItem item = freshItem();
        QVERIFY(!awaitTask(store.write(item, QStringLiteral("kept"))).value->failed());

        QVERIFY(lockKeyring());
        const auto lockedRead = awaitTask(store.read(item));
        const auto lockedRemoval = awaitTask(store.remove(item));
        const auto missingRead = awaitTask(store.read(freshItem()));
        const bool unlocked = unlockKeyring();

        QVERIFY(unlocked);
        QVERIFY(lockedRead.succeeded());
        QCOMPARE(lockedRead.value->status, SecretRead::Status::Failed);
        QVERIFY(!lockedRead.value->error.isEmpty());
        QCOMPARE(lockedRemoval.value->status, SecretWrite::Status::Failed);
        // An item that was never written is still absent: the service finds it neither locked nor unlocked.
        QCOMPARE(missingRead.value->status, SecretRead::Status::Absent);

        const auto afterUnlock = awaitTask(store.read(item));
        QCOMPARE(afterUnlock.value->status, SecretRead::Status::Found);
        QCOMPARE(afterUnlock.value->value, QStringLiteral("kept"));
    }
};

QTEST_GUILESS_MAIN(SecretStoreTest)
#include "tst_secretstore.moc"
