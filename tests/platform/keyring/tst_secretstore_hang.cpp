#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

using brelta::platform::SecretRead;
using brelta::platform::SecretStore;
using brelta::testsupport::awaitTask;

namespace {

// Owns the Secret Service's name and answers nothing, like a service that has hung.
class SilentSecretService : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        swallowed << message.member();
        return true; // taken, never answered
    }

    QStringList swallowed;
};

} // namespace

// Runs on a private session bus of its own (see CMakeLists.txt), where this process is the "service".
class SecretStoreHangTest : public QObject
{
    Q_OBJECT

private:
    SilentSecretService m_service;

private slots:
    void initTestCase()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/"), &m_service, QDBusConnection::SubPath));
        QVERIFY2(bus.registerService(QStringLiteral("org.freedesktop.secrets")), "the test needs a bus of its own");
    }

    void aHungServiceAnswersWithinTheTimeout()
    {
        SecretStore store(std::chrono::milliseconds(800));
        const brelta::platform::SecretItem item{QStringLiteral("com.brelta.test-hang"), QStringLiteral("brelta")};

        QElapsedTimer clock;
        clock.start();
        auto read = store.read(item);
        auto write = store.write(item, QStringLiteral("x"));
        const auto readResult = awaitTask(std::move(read), std::chrono::seconds(5));
        const auto writeResult = awaitTask(std::move(write), std::chrono::seconds(5));
        QVERIFY(readResult.succeeded());
        QCOMPARE(readResult.value->status, SecretRead::Status::Failed);
        QVERIFY(writeResult.succeeded());
        QVERIFY(writeResult.value->failed());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!m_service.swallowed.isEmpty()); // the calls did reach the silent service
    }

    // The store is closed while a read waits on the hung service, and the read's own time runs out in the
    // same pass of the event loop, before the closing answer is delivered: the read still gets that answer,
    // and nothing touches the closed store (ASan reports a use after free otherwise).
    void aStoreClosedAsAReadTimesOutAnswersTheRead()
    {
        auto store = std::make_unique<SecretStore>(std::chrono::milliseconds(100));
        const brelta::platform::SecretItem item{QStringLiteral("com.brelta.test-hang-close"), QStringLiteral("brelta")};

        QTimer::singleShot(std::chrono::milliseconds(50), Qt::PreciseTimer, [&store] { store.reset(); });
        auto read = store->read(item);
        QThread::msleep(300); // both timers are due now: the closing one first, then the read's
        const auto result = awaitTask(std::move(read), std::chrono::seconds(5));
        QVERIFY(!store);
        QVERIFY(result.succeeded());
        QCOMPARE(result.value->status, SecretRead::Status::Failed);
        QCOMPARE(result.value->error, QStringLiteral("the secret store was closed"));
    }
};

QTEST_GUILESS_MAIN(SecretStoreHangTest)
#include "tst_secretstore_hang.moc"
