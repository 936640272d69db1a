#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include "platform/keyring/KeyringControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <QUuid>

using brelta::platform::SecretItem;
using brelta::platform::SecretRead;
using brelta::platform::SecretStore;
using brelta::platform::SecretWrite;
using brelta::testsupport::awaitTask;
using brelta::testsupport::keyring::LockedKeyring;

namespace {

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
        QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                     brelta::testsupport::keyring::kSecretsService),
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

        LockedKeyring locked;
        QVERIFY(locked.isLocked());
        const auto lockedRead = awaitTask(store.read(item));
        const auto lockedRemoval = awaitTask(store.remove(item));
        const auto missingRead = awaitTask(store.read(freshItem()));
        QVERIFY(locked.unlock());

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
