#include "recording/session/AudioRecorderManager.h"

#include "platform/StoredSettings.h"
#include "platform/WireTime.h"
#include "recording/upload/UploadFixture.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta;
using namespace brelta::recording;
using namespace brelta::testsupport;
using namespace std::chrono_literals;

// A recording from the microphone to the backend: the session records it, the upload queue sends it.
class TestRecordingEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSpokenRecordingArrivesAtTheBackendUnderItsOwner()
    {
        QTemporaryDir dir;
        const QString speech = dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(makeSpeechFixture(speech,
                                   QStringLiteral("Good morning everyone. Today I would like to walk you through "
                                                  "our plan for the spring."),
                                   44100, 0.3, 0.3),
                 QString());

        UploadFixture u;
        AudioUploadManager &queue = u.start();
        QVERIFY(u.backend.settings.setValue(platform::settings::kUseWebViewRecorderNewest, false)); // the microphone
        AudioRecorderManager::Options options;
        options.recordingsFolder = u.recordings;
        AudioRecorderManager session({.clock = u.clock,
                                      .settings = u.backend.settings,
                                      .handOff = queue,
                                      .analytics = &u.telemetry.analytics,
                                      .errorTracker = u.telemetry.errorTracker.get()},
                                     std::move(options));

        const QMap<QString, QString> params{{QStringLiteral("meetingId"), QStringLiteral("standup-42")}};
        QVERIFY(awaitTask(session.startRecording(RecordingPurpose::Practice, params), 20s).succeeded());
        const QDateTime startedAt = u.clock.now();
        QElapsedTimer recorded;
        recorded.start();
        QCOMPARE(playIntoSink(speech, QStringLiteral("micfeed")), QString());
        QTest::qWait(300);
        const qint64 seconds = recorded.elapsed() / 1000;
        u.clock.advance(std::chrono::seconds(seconds));
        QVERIFY(awaitTask(session.stopRecording(), 30s).succeeded());

        QVERIFY(u.waitIdle());
        QCOMPARE(u.backend.server.uploads().size(), 1);
        const devserver::ReceivedUpload &upload = u.backend.server.uploads().first();
        for (const char *name : {"username", "sessionType", "startTime", "endTime", "sourceParams"})
            QVERIFY2(upload.part(name), name);
        QCOMPARE(upload.part("username")->body, u.signedInUser().toUtf8());
        QCOMPARE(upload.part("sessionType")->body, QByteArrayLiteral("default")); // a practice recording
        QCOMPARE(platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("startTime")->body)),
                 std::optional(startedAt));
        QCOMPARE(platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("endTime")->body)),
                 std::optional(startedAt.addSecs(seconds)));
        QCOMPARE(upload.part("sourceParams")->body, QByteArrayLiteral(R"({"meetingId":"standup-42"})"));

        // What arrived is the speech: as long as the recording, and not silent.
        const auto probed = probeAudio(upload.savedPath);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QVERIFY2(probed->duration >= seconds - 0.5 && probed->duration <= seconds + 1.5,
                 qPrintable(QString::number(probed->duration)));
        const auto decoded = decodeToMonoFloat(upload.savedPath, 16000);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) > 0.02, qPrintable(QString::number(rms(*decoded))));
        // Sent, so gone from the folder and the queue.
        QTRY_VERIFY(QDir(u.recordings).entryList(QDir::Files).isEmpty());
        QVERIFY(u.storedItems().empty());
    }
};

QTEST_GUILESS_MAIN(TestRecordingEndToEnd)
#include "tst_recordingendtoend.moc"
