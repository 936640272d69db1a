#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include <QTest>

using brelta::platform::SecretRead;
using brelta::platform::SecretStore;
using brelta::testsupport::awaitTask;

class SecretStoreWithoutServiceTest : public QObject
{
    Q_OBJECT

private slots:
    // Without a Secret Service nothing can be known about the item: a failure, never "no token".
    void everyAnswerIsAFailureInTime()
    {
        SecretStore store(std::chrono::seconds(3));
        const brelta::platform::SecretItem item{QStringLiteral("com.brelta.test-noservice"), QStringLiteral("brelta")};

        const auto read = awaitTask(store.read(item), std::chrono::seconds(6));
        QVERIFY(read.succeeded());
        QCOMPARE(read.value->status, SecretRead::Status::Failed);
        QVERIFY(!read.value->error.isEmpty());

        const auto write = awaitTask(store.write(item, QStringLiteral("x")), std::chrono::seconds(6));
        QVERIFY(write.succeeded());
        QVERIFY(write.value->failed());

        const auto removal = awaitTask(store.remove(item), std::chrono::seconds(6));
        QVERIFY(removal.succeeded());
        QVERIFY(removal.value->failed());
    }
};

QTEST_GUILESS_MAIN(SecretStoreWithoutServiceTest)
#include "tst_secretstore_noservice.moc"
