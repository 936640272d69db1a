#include "recording/recorders/SimpleAudioRecorder.h"

#include "RecorderTestSupport.h"
#include "platform/audio/AudioFileInfo.h"
#include "recording/recorders/RecorderErrors.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace brelta::recording;
using namespace brelta::testsupport;
using namespace brelta::recording::testing;

class TestSimpleAudioRecorder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_speech;
    int m_files = 0;

    QString newPath() { return m_dir.filePath(QStringLiteral("practice_%1.m4a").arg(++m_files)); }

private Q_SLOTS:
    void initTestCase()
    {
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(makeSpeechFixture(m_speech,
                                   QStringLiteral("Thank you all for joining. Let us review the plan for "
                                                  "the next quarter."),
                                   44100),
                 QString());
    }

    void recordsTheMicrophoneAsAacInMpeg4()
    {
        SimpleAudioRecorder recorder;
        const QString path = newPath();
        QCOMPARE(runOperation(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QElapsedTimer recorded;
        recorded.start();
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Recording);
        QCOMPARE(playIntoSink(m_speech), QString());
        QTest::qWait(300);
        const double seconds = double(recorded.elapsed()) / 1000;
        QCOMPARE(runOperation(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);

        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QVERIFY(probed->container.contains(QLatin1String("mp4")));
        QCOMPARE(probed->majorBrand, QStringLiteral("M4A "));
        QCOMPARE(probed->sampleRate, 44100);
        QCOMPARE(probed->channels, 1);
        QVERIFY2(probed->bitRate > 24000 && probed->bitRate < 40000, qPrintable(QString::number(probed->bitRate)));
        QVERIFY2(std::abs(probed->duration - seconds) <= 0.2,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(probed->duration).arg(seconds)));
        QVERIFY2(std::abs(brelta::platform::audioFileDuration(path) - probed->duration) < 0.03,
                 "our duration reader disagrees with ffprobe");
        const auto decoded = decodeToMonoFloat(path, 44100);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) > 0.02, qPrintable(QString::number(rms(*decoded))));
    }

    void pauseLeavesThePausedSpanOut()
    {
        SimpleAudioRecorder recorder;
        const QString path = newPath();
        QCOMPARE(runOperation(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QElapsedTimer recorded;
        recorded.start();
        QTest::qWait(1000);
        QCOMPARE(runOperation(recorder, QStringLiteral("pause"), path), QStringLiteral("ok"));
        double seconds = double(recorded.elapsed()) / 1000;
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Paused);
        QCOMPARE(playIntoSink(m_speech), QString()); // spoken only while paused
        QCOMPARE(runOperation(recorder, QStringLiteral("resume"), path), QStringLiteral("ok"));
        recorded.restart();
        QTest::qWait(1000);
        seconds += double(recorded.elapsed()) / 1000;
        QCOMPARE(runOperation(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));

        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(std::abs(duration - seconds) <= 0.2,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(duration).arg(seconds)));
        const auto decoded = decodeToMonoFloat(path, 44100);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) < 0.005, "the speech played during the pause is in the recording");
    }

    void stateTable_data()
    {
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<int>("state");
        const QString ok = QStringLiteral("ok");
        const auto stopped = int(AudioRecordingState::Stopped);
        const auto recording = int(AudioRecordingState::Recording);
        const auto paused = int(AudioRecordingState::Paused);
        QTest::newRow("stop before any start")
            << QStringList{"stop"} << QStringList{"recorder already stopped"} << stopped;
        QTest::newRow("start while recording")
            << QStringList{"start", "start"} << QStringList{ok, "recorder already started"} << recording;
        QTest::newRow("start while paused is refused, not a new file")
            << QStringList{"start", "pause", "start"}
            << QStringList{ok, ok, "recorder is paused; stop it before starting a new recording"} << paused;
        QTest::newRow("pause and resume without a recording change nothing")
            << QStringList{"pause", "resume"} << QStringList{ok, ok} << stopped;
        QTest::newRow("pause twice") << QStringList{"start", "pause", "pause"} << QStringList{ok, ok, ok} << paused;
        QTest::newRow("pause then resume")
            << QStringList{"start", "pause", "resume"} << QStringList{ok, ok, ok} << recording;
        QTest::newRow("resume while recording") << QStringList{"start", "resume"} << QStringList{ok, ok} << recording;
        QTest::newRow("stop from paused")
            << QStringList{"start", "pause", "stop"} << QStringList{ok, ok, ok} << stopped;
        QTest::newRow("stop twice") << QStringList{"start", "stop", "stop"}
                                    << QStringList{ok, ok, "recorder already stopped"} << stopped;
        QTest::newRow("pause after stop changes nothing")
            << QStringList{"start", "stop", "pause"} << QStringList{ok, ok, ok} << stopped;
    }

    void stateTable()
    {
        QFETCH(QStringList, operations);
        QFETCH(QStringList, outcomes);
        QFETCH(int, state);
        SimpleAudioRecorder recorder;
        const QString path = newPath();
        QStringList seen;
        for (const QString &operation : operations) {
            seen << runOperation(recorder, operation, path);
            QTest::qWait(200);
        }
        QCOMPARE(seen, outcomes);
        QCOMPARE(int(recorder.recordingState()), state);
        if (recorder.recordingState() != AudioRecordingState::Stopped)
            QCOMPARE(runOperation(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        // Whatever was refused, the file of the first start is whole.
        if (operations.first() == QLatin1String("start"))
            QVERIFY(brelta::platform::audioFileDuration(path) > 0.1);
    }

    void failedStartLeavesNothingBehind_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("missingFolder");
        QTest::addColumn<QString>("message");
        QTest::newRow("no sound server") << "unix:/nonexistent/pulse/native"
                                         << "" << false
                                         << "failed to prepare to record: cannot reach the PulseAudio server";
        QTest::newRow("no such microphone")
            << ""
            << "no-such-microphone" << false << "failed to prepare to record: cannot record: no audio source named";
        QTest::newRow("file cannot be created") << ""
                                                << "" << true << "cannot create the file: No such file";
    }

    void failedStartLeavesNothingBehind()
    {
        QFETCH(QString, server);
        QFETCH(QString, source);
        QFETCH(bool, missingFolder);
        QFETCH(QString, message);
        SimpleAudioRecorder::Options options;
        options.capture.serverAddress = server;
        options.capture.sourceName = source;
        SimpleAudioRecorder recorder(options);
        const QString path = missingFolder ? m_dir.filePath(QStringLiteral("missing/practice_x.m4a")) : newPath();
        const auto started = awaitTask(recorder.start(QUrl::fromLocalFile(path)));
        QVERIFY(started.threw());
        QString text = started.errorText();
        try {
            started.rethrow();
        } catch (const AudioRecorderError &error) {
            text = error.description();
        } catch (...) {
        }
        QVERIFY2(text.contains(message), qPrintable(text));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QVERIFY2(!QFile::exists(path), "a failed start left a file");
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral(".*partial*")}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // The application quits while the recording starts: the stream it was opening closes, no file stays.
    void aRecorderDroppedWhileItStartsLeavesNothing()
    {
        auto recorder = std::make_unique<SimpleAudioRecorder>();
        const QString path = newPath();
        QCoro::Task<> starting = recorder->start(QUrl::fromLocalFile(path));
        // The stream is open and waits for the first audio.
        QTRY_VERIFY_WITH_TIMEOUT(recordStreamNames().contains(QStringLiteral("Microphone recording")), 5000);
        QVERIFY(!starting.isReady());
        recorder.reset();
        QTRY_COMPARE_WITH_TIMEOUT(recordStreamNames(), QStringList(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(path), 3000);
        QTest::qWait(1000);
        QCOMPARE(recordStreamNames(), QStringList());
    }

    void startThatGetsNoAudioClosesItsStreamAndFile()
    {
        // A source the server keeps suspended opens fine but never sends audio.
        const QString module = pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=h4mute")});
        QVERIFY(!module.isEmpty());
        pactl({QStringLiteral("suspend-source"), QStringLiteral("h4mute.monitor"), QStringLiteral("1")});
        const QString streamsBefore =
            pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")});
        SimpleAudioRecorder::Options options;
        options.capture.sourceName = QStringLiteral("h4mute.monitor");
        options.firstAudioTimeout = std::chrono::milliseconds(1500);
        SimpleAudioRecorder recorder(options);
        const QString path = newPath();
        const auto started = awaitTask(recorder.start(QUrl::fromLocalFile(path)));
        pactl({QStringLiteral("unload-module"), module});
        QVERIFY(started.threw());
        try {
            started.rethrow();
        } catch (const AudioRecorderError &error) {
            QCOMPARE(error.message(), QStringLiteral("failed to start recording"));
            QCOMPARE(error.cause(), QStringLiteral("no audio from h4mute.monitor within 1500 ms"));
        } catch (...) {
            QFAIL(qPrintable(started.errorText()));
        }
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QVERIFY2(!QFile::exists(path), "a failed start left a file");
        QCOMPARE(pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")}),
                 streamsBefore);
    }

    void recordingThatEndsOnItsOwnTellsTheDelegateAndStopsAtOnce()
    {
        const QString module = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                      QStringLiteral("sink_name=h4unplugged")});
        QVERIFY(!module.isEmpty());
        SimpleAudioRecorder::Options options;
        options.capture.sourceName = QStringLiteral("h4unplugged.monitor");
        options.capture.dontMove = true;
        SimpleAudioRecorder recorder(options);
        RecorderDelegateSpy delegate;
        recorder.setDelegate(&delegate);
        const QString path = newPath();
        QCOMPARE(runOperation(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QTest::qWait(1000);
        pactl({QStringLiteral("unload-module"), module});
        QTRY_COMPARE_WITH_TIMEOUT(delegate.failures,
                                  QStringList{QStringLiteral("unexpected stop with successfully: true")}, 5000);
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Recording);
        QCOMPARE(runOperation(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(delegate.failures.size(), 1);
        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(duration > 0.7 && duration < 1.5, qPrintable(QString::number(duration)));
    }

    void recordingKilledMidwayStillPlays()
    {
        const QString path = newPath();
        QProcess helper;
        helper.start(QStringLiteral(RECORDING_CRASH_HELPER), {path});
        QVERIFY(helper.waitForStarted(5000));
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += helper.readAllStandardOutput()).contains("recording"),
                                  helper.readAllStandardError().constData(), 15000);
        auto player = startPlayingIntoSink(m_speech);
        QTest::qWait(3000);
        ::kill(pid_t(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(5000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        player->kill();
        player->waitForFinished();

        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(duration >= 2.0, qPrintable(QString::number(duration)));
        const auto decoded = decodeToMonoFloat(path, 44100);
        QVERIFY(decoded);
        QVERIFY2(decoded->size() >= std::size_t(2 * 44100), qPrintable(QString::number(decoded->size())));
        QVERIFY2(rms(*decoded) > 0.01, "the surviving audio is silent");
    }
};

QTEST_GUILESS_MAIN(TestSimpleAudioRecorder)
#include "tst_simpleaudiorecorder.moc"
