#include "platform/telemetry/DiskQueue.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using brelta::platform::DiskQueue;

namespace {

void plant(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArrayList payloads(const DiskQueue &queue)
{
    QByteArrayList data;
    for (const DiskQueue::Entry &entry : queue.front(100))
        data << entry.data;
    return data;
}

} // namespace

class DiskQueueTest : public QObject
{
    Q_OBJECT

private slots:
    void entriesComeBackInOrderAfterARestart()
    {
        QTemporaryDir folder;
        {
            DiskQueue queue(folder.path(), 10);
            for (const char *payload : {"one", "two", "three"})
                QVERIFY(!queue.push(payload).isEmpty());
            queue.remove(queue.front(1).first().id);
        }
        DiskQueue restarted(folder.path(), 10);
        QCOMPARE(payloads(restarted), (QByteArrayList{"two", "three"}));
        QCOMPARE(restarted.push("four"), QStringLiteral("0000000000000004"));
    }

    void onlyItsOwnFilesAreLoadedAndRemoved()
    {
        QTemporaryDir folder;
        const QDir dir(folder.path());
        plant(dir.filePath(QStringLiteral("0000000000000010.entry")), "ten");
        plant(dir.filePath(QStringLiteral("0000000000000003.entry")), "three");
        plant(dir.filePath(QStringLiteral("0000000000000007.entry.partial")), "cut short by a crash");
        const QStringList foreign{QStringLiteral("2.entry"), QStringLiteral("00001.Entry"),
                                  QStringLiteral("0000000000000004.ENTRY"), QStringLiteral("notes.txt")};
        for (const QString &name : foreign) {
            plant(dir.filePath(name), name.toUtf8());
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(QStringLiteral("leaving .*%1.* alone").arg(QRegularExpression::escape(name))));
        }

        DiskQueue queue(folder.path(), 10);
        QCOMPARE(payloads(queue), (QByteArrayList{"three", "ten"}));
        QCOMPARE(queue.push("eleven"), QStringLiteral("0000000000000011"));

        for (const DiskQueue::Entry &entry : queue.front(100))
            queue.remove(entry.id);
        QVERIFY(queue.isEmpty());
        QStringList left = dir.entryList(QDir::Files);
        left.sort();
        QStringList expected = foreign;
        expected.sort();
        QCOMPARE(left, expected);
    }

    void aRejectedEntryIsKeptBesideTheQueue()
    {
        QTemporaryDir folder;
        DiskQueue queue(folder.path(), 10);
        const QString id = queue.push("unsendable");
        queue.push("fine");
        queue.reject(id);
        QCOMPARE(payloads(queue), QByteArrayList{"fine"});
        QFile rejected(QDir(folder.path()).filePath(id + QStringLiteral(".entry.rejected")));
        QVERIFY(rejected.open(QIODevice::ReadOnly));
        QCOMPARE(rejected.readAll(), QByteArray("unsendable"));
        // Set aside for a person to look at, never loaded again.
        QCOMPARE(payloads(DiskQueue(folder.path(), 10)), QByteArrayList{"fine"});
    }
};

QTEST_GUILESS_MAIN(DiskQueueTest)
#include "tst_diskqueue.moc"
