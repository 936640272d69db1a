#include "platform/desktop/SingleInstance.h"

#include <QDataStream>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;
using brelta::platform::desktop::SingleInstance;
using Role = SingleInstance::Role;

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void theSecondStartHandsItsArgumentsToTheFirst()
    {
        QTemporaryDir runtime;
        SingleInstance first(QStringLiteral("test.brelta"), runtime.path());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        QCOMPARE(first.claim({QStringLiteral("brelta")}), Role::Primary);
        QVERIFY(QFile::exists(first.socketPath()));
        QCOMPARE(QFile::permissions(first.socketPath()) & (QFile::ReadOther | QFile::WriteOther), QFile::Permissions());

        // A real second start is another process and blocks; here it waits on another thread.
        const QStringList arguments{QStringLiteral("brelta"), QStringLiteral("brelta://app/record?x=1 y")};
        std::atomic<int> role{-1};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            SingleInstance second(QStringLiteral("test.brelta"), runtime.path());
            role = int(second.claim(arguments, 5s));
        }));
        thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QVERIFY(thread->wait(5000));
        QCOMPARE(role.load(), int(Role::HandedOver));
        QCOMPARE(received.first().first().toStringList(), arguments);
    }

    void aSocketLeftByADeadInstanceIsReplaced()
    {
        QTemporaryDir runtime;
        const QString socketPath = runtime.filePath(QStringLiteral("test.brelta.socket"));
        // A bound socket file that nobody listens on any more, as a crashed instance leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFile::exists(socketPath));

        SingleInstance instance(QStringLiteral("test.brelta"), runtime.path());
        QCOMPARE(instance.claim({QStringLiteral("brelta")}), Role::Primary);
        QLocalSocket probe;
        probe.connectToServer(socketPath);
        QVERIFY(probe.waitForConnected(2000));
    }

    // A socket that answers is never removed, even when its lock file is gone: that one is the instance.
    void aLiveSocketWithoutItsLockIsNotTakenOver()
    {
        QTemporaryDir runtime;
        SingleInstance first(QStringLiteral("test.brelta"), runtime.path());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        QCOMPARE(first.claim({QStringLiteral("brelta")}), Role::Primary);
        QVERIFY(QFile::remove(first.lockPath()));

        std::atomic<int> role{-1};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            SingleInstance second(QStringLiteral("test.brelta"), runtime.path());
            role = int(second.claim({QStringLiteral("brelta"), QStringLiteral("again")}, 5s));
        }));
        thread->start();
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 5000);
        QVERIFY(thread->wait(5000));
        QCOMPARE(role.load(), int(Role::HandedOver));
    }

    void aLockHeldByASilentProcessFails()
    {
        QTemporaryDir runtime;
        // This process holds the lock (it is alive) but nothing listens.
        QLockFile lock(runtime.filePath(QStringLiteral("test.brelta.lock")));
        QVERIFY(lock.tryLock(0));
        SingleInstance second(QStringLiteral("test.brelta"), runtime.path());
        QCOMPARE(second.claim({QStringLiteral("brelta")}, 300ms), Role::Failed);
        QVERIFY2(second.errorString().contains(QStringLiteral("did not answer")), qPrintable(second.errorString()));
    }

    void malformedMessagesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("wrong magic") << QByteArray("GET / HTTP/1.1\r\n\r\n");
        QByteArray huge;
        {
            QDataStream out(&huge, QIODevice::WriteOnly);
            out << quint32(0x42524c31) << quint32(SingleInstance::kMaxMessageBytes + 1);
        }
        QTest::newRow("larger than allowed") << huge;
        QByteArray started;
        {
            QDataStream out(&started, QIODevice::WriteOnly);
            out << quint32(0x42524c31) << quint32(100);
        }
        QTest::newRow("a message not finished within 2 s") << started;
    }

    // A start whose arguments exceed the limit hands nothing over and says why.
    void oversizedArgumentsAreNotHandedOver()
    {
        QTemporaryDir runtime;
        SingleInstance first(QStringLiteral("test.brelta"), runtime.path());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        QCOMPARE(first.claim({QStringLiteral("brelta")}), Role::Primary);
        SingleInstance second(QStringLiteral("test.brelta"), runtime.path());
        const QStringList arguments{QStringLiteral("brelta"), QStringLiteral("brelta://app/record?x=")
                                                                  + QString(SingleInstance::kMaxMessageBytes, 'a')};
        QCOMPARE(second.claim(arguments, std::chrono::milliseconds(500)), Role::Failed);
        QVERIFY2(second.errorString().contains(QStringLiteral("too long")), qPrintable(second.errorString()));
        QTest::qWait(100);
        QCOMPARE(received.size(), 0);
    }

    void malformedMessagesAreRefused()
    {
        QFETCH(QByteArray, message);
        QTemporaryDir runtime;
        SingleInstance first(QStringLiteral("test.brelta"), runtime.path());
        QSignalSpy received(&first, &SingleInstance::argumentsReceived);
        QCOMPARE(first.claim({QStringLiteral("brelta")}), Role::Primary);

        QLocalSocket socket;
        socket.connectToServer(first.socketPath());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(message);
        QVERIFY(socket.waitForBytesWritten(2000));
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(received.size(), 0);
        QCOMPARE(socket.readAll(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
