#include "UploadFixture.h"

#include "platform/WireTime.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace brelta;
using namespace brelta::testsupport;
using namespace std::chrono_literals;
using recording::AudioReuploadMode;

namespace {

const QDateTime kModified(QDate(2024, 3, 5), QTime(16, 0, 0), Qt::UTC);

// A file in the recordings folder as a crash left it: written, last changed at kModified, no queue item.
QString leaveBehind(UploadFixture &f, const QString &name, double seconds)
{
    const QString path = QDir(f.recordings).filePath(name);
    if (seconds > 0) {
        const QString made = makeToneFile(path, seconds, 44100, 1, {"-c:a", "aac", "-b:a", "32k"});
        if (!made.isEmpty())
            qFatal("%s", qPrintable(made));
    } else {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("not audio at all") < 0)
            qFatal("cannot write %s", qPrintable(path));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(kModified, QFileDevice::FileModificationTime))
        qFatal("cannot date %s", qPrintable(path));
    return path;
}

QString hexName(const QString &purpose, int n)
{
    return QStringLiteral("%1_%2.m4a").arg(purpose).arg(n, 32, 16, QLatin1Char('0'));
}

} // namespace

class UploadRecoveryTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<UploadFixture> f;

    // A launch: the queue starts and the timer's first pass comes a second later.
    void launch()
    {
        f->start().scheduleReuploadTimer(AudioReuploadMode::Background);
        f->clock.advance(1s);
        QVERIFY(f->waitIdle());
    }

private slots:
    void init() { f = std::make_unique<UploadFixture>(); }
    void cleanup() { f.reset(); }

    void aRecordingHandedOverSurvivesTheProcessBeingKilled()
    {
        const QString path = f->makeRecording(3.0);
        QProcess helper;
        helper.start(QStringLiteral(UPLOAD_ENQUEUE_HELPER),
                     {f->backend.settings.filePath(), f->recordings, path, QString::number(f->backend.server.port()),
                      f->signedInUser()});
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        QCOMPARE(helper.readAllStandardOutput(), QByteArray("stored\n"));
        // What a conversion or a rewrite cut short leaves, and a file that is not ours.
        const QString conversion =
            QDir(f->recordings).filePath(QStringLiteral("convert_0F8A3C1E-5B2D-4C7A-9E61-2D4B8F0A1C3E.m4a"));
        const QString rewrite = QDir(f->recordings)
                                    .filePath(QStringLiteral(".%1.00112233445566778899aabbccddeeff.partial.m4a")
                                                  .arg(hexName("practice", 9).chopped(4)));
        const QString notes = QDir(f->recordings).filePath(QStringLiteral("notes.txt"));
        for (const QString &other : {conversion, rewrite, notes})
            QVERIFY(QFile(other).open(QIODevice::WriteOnly));
        // Writing once makes this process's settings read what the helper wrote.
        f->backend.settings.setBool(QStringLiteral("testHelperWasHere"), true);

        launch();
        QCOMPARE(f->backend.server.uploads().size(), 1);
        const devserver::ReceivedUpload &upload = f->backend.server.uploads().first();
        // Sent from the item stored at hand-off, not found again by recovery: the source parameters and
        // the times are the handed-over ones.
        QVERIFY(upload.part("sourceParams"));
        QCOMPARE(upload.part("sourceParams")->body, QByteArray("{\"source\":\"helper\"}"));
        QCOMPARE(
            upload.part("endTime")->body,
            platform::wiretime::formatWithOffset(QDateTime(QDate(2024, 3, 5), QTime(14, 30, 0), Qt::UTC)).toUtf8());
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(conversion));
        QVERIFY(!QFile::exists(rewrite));
        QVERIFY(QFile::exists(notes));
        QCOMPARE(QDir(f->recordings).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("notes.txt")});
    }

    void recordingsWithoutItemAreRecoveredAtLaunch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("seconds");  // 0: not audio
        QTest::addColumn<QString>("outcome"); // "sent", "deleted", "kept"
        QTest::addColumn<QString>("sessionType");
        QTest::newRow("practice recording of 3 s: sent") << hexName("practice", 1) << 3.0 << "sent"
                                                         << "default";
        QTest::newRow("onboarding recording of 1 s: sent, no minimum") << hexName("onboarding", 2) << 1.0 << "sent"
                                                                       << "onboarding";
        QTest::newRow("practice recording of 1 s: too short, deleted")
            << hexName("practice", 3) << 1.0 << "deleted" << QString();
        QTest::newRow("practice file that is not audio: kept and reported")
            << hexName("practice", 4) << 0.0 << "kept" << QString();
        QTest::newRow("another name: left alone") << "meeting.m4a" << 3.0 << "kept" << QString();
    }

    void recordingsWithoutItemAreRecoveredAtLaunch()
    {
        QFETCH(QString, name);
        QFETCH(double, seconds);
        QFETCH(QString, outcome);
        QFETCH(QString, sessionType);
        const QString path = leaveBehind(*f, name, seconds);

        launch();
        QCOMPARE(f->backend.server.uploads().size(), outcome == QLatin1String("sent") ? 1 : 0);
        QCOMPARE(QFile::exists(path), outcome == QLatin1String("kept"));
        if (outcome == QLatin1String("sent")) {
            const devserver::ReceivedUpload &upload = f->backend.server.uploads().first();
            QCOMPARE(upload.part("username")->body, f->signedInUser().toUtf8());
            QCOMPARE(upload.part("sessionType")->body, sessionType.toUtf8());
            QVERIFY(!upload.part("sourceParams"));
            // It ended when the file was last written, and began its length before.
            const auto start = platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("startTime")->body));
            const auto end = platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("endTime")->body));
            QCOMPARE(end, std::optional(kModified));
            QVERIFY(start);
            QVERIFY2(std::abs(start->secsTo(kModified) - seconds) <= 1, qPrintable(start->toString(Qt::ISODate)));
            QTRY_COMPARE(f->eventCount(QStringLiteral("Recording Sent")), 1);
        }
        if (seconds == 0)
            QTRY_COMPARE(f->reportsContaining(QStringLiteral("could not retrieve duration")), 1);
        QVERIFY(f->storedItems().empty());
    }

    void recoveryWaitsForSomeoneToSignIn()
    {
        const QString path = leaveBehind(*f, hexName("practice", 5), 3.0);
        f->signInAs(QString());
        launch();
        QVERIFY(QFile::exists(path));
        QVERIFY(f->storedItems().empty());
        QVERIFY(f->backend.server.uploads().isEmpty());

        f->signInAs(f->signedInUser());
        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), 1);
        QCOMPARE(f->backend.server.uploads().first().part("username")->body, f->signedInUser().toUtf8());
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(UploadRecoveryTest)
#include "tst_uploadrecovery.moc"
