#include "recording/session/RecordingProcessing.h"

#include "SessionTestSupport.h"
#include "platform/AppError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using brelta::platform::AppError;

class TestRecordingProcessing : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // A recording file of `fixture`: seconds of AAC, "garbage" for bytes no reader takes, "none" for no file.
    QString makeRecording(const QString &fixture)
    {
        const QString path = m_dir.filePath(QStringLiteral("practice_%1.m4a").arg(++m_files, 32, 10, QLatin1Char('0')));
        if (fixture == QLatin1String("garbage")) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write("this is not audio at all, only text") < 0)
                return {};
        } else if (fixture != QLatin1String("none")) {
            if (!writeAacFixture(path, fixture.toDouble()).isEmpty())
                return {};
        }
        return path;
    }

private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<QString>("purposeName");
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("queueRefusal");
        QTest::addColumn<qint64>("queuedSeconds"); // -1: not queued
        QTest::addColumn<bool>("isTooShort");
        QTest::addColumn<QString>("message"); // the start of the error text; empty when queued
        QTest::addColumn<bool>("fileKept");

        const QString practice = QStringLiteral("practice");
        const QString onboarding = QStringLiteral("onboarding");
        QTest::newRow("practice of 1.9 s is deleted as too short")
            << practice << "1.9"
            << "" << qint64(-1) << true << "recording too short, duration: 1.9" << false;
        QTest::newRow("practice of 2.0 s is accepted") << practice << "2.0"
                                                       << "" << qint64(2) << false << "" << true;
        QTest::newRow("onboarding of 0.5 s is accepted") << onboarding << "0.5"
                                                         << "" << qint64(0) << false << "" << true;
        QTest::newRow("2.9 s is queued as 2 seconds") << practice << "2.9"
                                                      << "" << qint64(2) << false << "" << true;
        QTest::newRow("an unreadable file is kept and reported")
            << practice << "garbage"
            << "" << qint64(-1) << false << "could not retrieve duration, file: file:///" << true;
        QTest::newRow("a missing file is reported") << practice << "none"
                                                    << "" << qint64(-1) << false << "file not found: /" << false;
        QTest::newRow("a queue that cannot store it leaves the file")
            << practice << "3.0"
            << "disk full" << qint64(-1) << false << "cannot queue the recording /" << true;
    }

    void outcomes()
    {
        QFETCH(QString, purposeName);
        QFETCH(QString, fixture);
        QFETCH(QString, queueRefusal);
        QFETCH(qint64, queuedSeconds);
        QFETCH(bool, isTooShort);
        QFETCH(QString, message);
        QFETCH(bool, fileKept);

        const RecordingPurpose purpose = *recordingPurposeFromRawValue(purposeName);
        const QString path = makeRecording(fixture);
        QVERIFY(!path.isEmpty());
        FinishedRecording recording;
        recording.filePath = path;
        recording.startTime = QDateTime(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);
        recording.endTime = recording.startTime.addSecs(3);
        recording.purpose = purpose;
        recording.sourceParams = QMap<QString, QString>{{QStringLiteral("event"), QStringLiteral("standup")}};
        recording.owner = QStringLiteral("ada@example.com");
        HandOffSpy handOff;
        handOff.refusal = queueRefusal;

        const ProcessingOutcome outcome = processFinishedRecording(recording, handOff);

        QCOMPARE(outcome.queued, queuedSeconds >= 0);
        QCOMPARE(outcome.isTooShort, isTooShort);
        QCOMPARE(QFile::exists(path), fileKept);
        if (queuedSeconds >= 0) {
            QVERIFY(!outcome.errorMessage);
            QVERIFY(!outcome.error);
            QCOMPARE(handOff.items.size(), 1);
            const FinishedRecording &queued = handOff.items.first();
            QCOMPARE(queued.durationSeconds, queuedSeconds);
            QCOMPARE(queued.filePath, path);
            QCOMPARE(queued.startTime, recording.startTime);
            QCOMPARE(queued.endTime, recording.endTime);
            QCOMPARE(queued.purpose, purpose);
            QCOMPARE(queued.sourceParams, recording.sourceParams);
            QCOMPARE(queued.owner, QStringLiteral("ada@example.com"));
            return;
        }
        QVERIFY(handOff.items.isEmpty());
        QVERIFY(outcome.errorMessage);
        QVERIFY2(outcome.errorMessage->startsWith(message), qPrintable(*outcome.errorMessage));
        // What is reported is the same error, of the kind the shell's alert depends on.
        try {
            std::rethrow_exception(outcome.error);
        } catch (const AppError &error) {
            QCOMPARE(error.message(), *outcome.errorMessage);
            QCOMPARE(error.kind(), isTooShort ? AppError::Kind::RecordingTooShort : AppError::Kind::General);
        } catch (...) {
            QFAIL("the reported error is not an AppError");
        }
    }

    void theUnreadableMessageNamesTheFileUrl()
    {
        const QString path = makeRecording(QStringLiteral("garbage"));
        HandOffSpy handOff;
        FinishedRecording recording;
        recording.filePath = path;
        const ProcessingOutcome outcome = processFinishedRecording(recording, handOff);
        QCOMPARE(outcome.errorMessage.value_or(QString()),
                 QStringLiteral("could not retrieve duration, file: ")
                     + QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    }
};

QTEST_GUILESS_MAIN(TestRecordingProcessing)
#include "tst_recordingprocessing.moc"
