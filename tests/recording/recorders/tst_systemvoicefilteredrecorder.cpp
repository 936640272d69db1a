#include "recording/recorders/SystemVoiceFilteredAudioRecorder.h"

#include "RecorderTestSupport.h"
#include "platform/Clock.h"
#include "platform/audio/AudioFileInfo.h"
#include "recording/recorders/RecorderErrors.h"
#include "recording/vad/SystemVoiceActivityDetector.h"
#include "recording/vad/VadProvider.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <optional>

using namespace brelta::recording;
using namespace brelta::testsupport;
using brelta::platform::ManualClock;
using brelta::recording::testing::outcome;
using brelta::recording::testing::RecorderDelegateSpy;

namespace {

void waitForPlayers(std::initializer_list<QProcess *> players)
{
    QDeadlineTimer deadline(60000);
    for (QProcess *player : players) {
        while (player->state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
    }
}

double seconds(const std::vector<float> &samples, int rate)
{
    return double(samples.size()) / rate;
}

// RMS of the decoded file between two moments, in seconds from its start.
double rmsBetween(const std::vector<float> &samples, int rate, double from, double to)
{
    const auto first = std::size_t(std::max(0.0, from) * rate);
    const auto last = std::min(samples.size(), std::size_t(std::max(0.0, to) * rate));
    if (last <= first)
        return -1;
    return rms(std::span(samples).subspan(first, last - first));
}

// While it lives, a second microphone "microphone2", fed through the sink "micfeed2": a headset plugged in.
// Afterwards the default input is "microphone" again.
class SecondMicrophone
{
public:
    SecondMicrophone()
        : m_sink(pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=micfeed2")}))
        , m_source(m_sink.isEmpty()
                       ? QString()
                       : pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                                QStringLiteral("source_name=microphone2"), QStringLiteral("master=micfeed2.monitor")}))
    {}
    ~SecondMicrophone()
    {
        pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")});
        if (!m_source.isEmpty())
            pactl({QStringLiteral("unload-module"), m_source});
        if (!m_sink.isEmpty())
            pactl({QStringLiteral("unload-module"), m_sink});
    }
    SecondMicrophone(const SecondMicrophone &) = delete;
    SecondMicrophone &operator=(const SecondMicrophone &) = delete;

    bool isReady() const { return !m_source.isEmpty(); }

private:
    QString m_sink; // module numbers
    QString m_source;
};

const QString kDetectorStream = QStringLiteral("System audio voice detection");
const QString kMicrophoneStream = QStringLiteral("Microphone recording");
constexpr int kRate = 16000;

} // namespace

class TestSystemVoiceFilteredRecorder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString
        m_microphoneTrack; // what the microphone hears: the user, then the other side through the speakers, then the user
    QString m_otherSide;   // what the speakers play: silence while the user speaks
    QString m_userTurn;    // the user's first turn alone
    double m_otherFrom = 0, m_otherTo = 0, m_userTo = 0, m_secondUserFrom = 0, m_total = 0;
    int m_files = 0;
    QString newPath() { return m_dir.filePath(QStringLiteral("practice_%1.m4a").arg(++m_files)); }
    QString cliSocket() const { return m_dir.filePath(QStringLiteral("pulse-cli")); }

    // The detector the recorder made last, to watch its restart.
    SystemVoiceActivityDetector *m_detector = nullptr;

    std::unique_ptr<SystemVoiceFilteredAudioRecorder> makeRecorder(ManualClock *clock = nullptr)
    {
        return std::make_unique<SystemVoiceFilteredAudioRecorder>([this, clock] {
            auto detector =
                std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>(), clock);
            m_detector = detector.get();
            return detector;
        });
    }

    static double fixtureSeconds(const QString &path)
    {
        const auto decoded = decodeToMonoFloat(path, kRate);
        return decoded ? seconds(*decoded, kRate) : 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString first = m_dir.filePath(QStringLiteral("user1.wav"));
        m_userTurn = first;
        const QString other = m_dir.filePath(QStringLiteral("other.wav"));
        const QString second = m_dir.filePath(QStringLiteral("user2.wav"));
        const QString gap = m_dir.filePath(QStringLiteral("gap.wav"));
        QCOMPARE(makeSpeechFixture(first,
                                   QStringLiteral("I think we should start with the budget for the new "
                                                  "office."),
                                   48000, 0.5, 0),
                 QString());
        QCOMPARE(makeSpeechFixture(other,
                                   QStringLiteral("Many more people will move there in May than we "
                                                  "planned at first."),
                                   48000),
                 QString());
        QCOMPARE(makeSpeechFixture(second, QStringLiteral("About twenty people, most of them from the sales team."),
                                   48000, 0, 0.5),
                 QString());
        QCOMPARE(makeSilenceFixture(gap, 1.0, 48000), QString());
        const double firstLength = fixtureSeconds(first);
        const double otherLength = fixtureSeconds(other);
        const double secondLength = fixtureSeconds(second);
        QVERIFY(firstLength > 1 && otherLength > 1 && secondLength > 1);

        m_userTo = firstLength;
        m_otherFrom = firstLength + 1.0;
        m_otherTo = m_otherFrom + otherLength;
        m_secondUserFrom = m_otherTo + 1.0;
        m_total = m_secondUserFrom + secondLength;

        // The microphone also hears the other side, from the speakers: that is what the filter must blank.
        m_microphoneTrack = m_dir.filePath(QStringLiteral("microphone.wav"));
        QCOMPARE(concatenateFixtures({first, gap, other, gap, second}, m_microphoneTrack), QString());
        const QString before = m_dir.filePath(QStringLiteral("before.wav"));
        const QString after = m_dir.filePath(QStringLiteral("after.wav"));
        QCOMPARE(makeSilenceFixture(before, m_otherFrom, 48000), QString());
        QCOMPARE(makeSilenceFixture(after, 1.0 + secondLength, 48000), QString());
        m_otherSide = m_dir.filePath(QStringLiteral("speakers.wav"));
        QCOMPARE(concatenateFixtures({before, other, after}, m_otherSide), QString());
    }

    void cleanup() { QCOMPARE(recordStreamNames(), QStringList()); }

private:
    // Plays the call (the other side into `otherSink` and, as in a room, into the microphone; the user into the
    // microphone) while `recorder` records, stops it, and checks the file: the user's turns are there, the
    // other side's turn is silence.
    void recordTheCallAndCheck(SystemVoiceFilteredAudioRecorder &recorder, const QString &path,
                               const QElapsedTimer &recording, const QString &otherSink)
    {
        const auto speakers = startPlayingIntoSink(m_otherSide, otherSink);
        const auto microphone = startPlayingIntoSink(m_microphoneTrack, QStringLiteral("micfeed"));
        const double offset = double(recording.elapsed()) / 1000;
        waitForPlayers({speakers.get(), microphone.get()});
        QTest::qWait(500);
        const double recorded = double(recording.elapsed()) / 1000;
        QCOMPARE(outcome(awaitTask(recorder.stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);

        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QCOMPARE(probed->majorBrand, QStringLiteral("M4A "));
        QCOMPARE(probed->sampleRate, kRate);
        QCOMPARE(probed->channels, 1);
        QVERIFY2(std::abs(probed->duration - recorded) <= 0.4,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(probed->duration).arg(recorded)));

        const auto decoded = decodeToMonoFloat(path, kRate);
        QVERIFY(decoded);
        const double user = rmsBetween(*decoded, kRate, offset + 0.7, offset + m_userTo - 0.1);
        const double secondUser = rmsBetween(*decoded, kRate, offset + m_secondUserFrom + 0.3, offset + m_total - 0.7);
        // The detector needs a few hundred milliseconds to be sure; the held block covers most of it.
        const double otherSide = rmsBetween(*decoded, kRate, offset + m_otherFrom + 0.6, offset + m_otherTo);
        const QString figures =
            QStringLiteral("user %1, other side %2, user again %3").arg(user).arg(otherSide).arg(secondUser);
        QVERIFY2(user > 0.02, qPrintable(figures));
        QVERIFY2(secondUser > 0.02, qPrintable(figures));
        QVERIFY2(otherSide < 0.002, qPrintable(figures));
    }

private Q_SLOTS:
    void blanksTheOtherSideAndKeepsTheUser()
    {
        auto recorder = makeRecorder();
        const QString path = newPath();
        QElapsedTimer recording;
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        recording.start();
        QCOMPARE(recorder->recordingState(), AudioRecordingState::Recording);
        QCOMPARE(recorder->microphoneSourceName(), QStringLiteral("microphone"));
        recordTheCallAndCheck(*recorder, path, recording, QStringLiteral("speakers"));
    }

    void followsTheOutputSwitchedMidRecording()
    {
        const QString module = pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=headset")});
        QVERIFY(!module.isEmpty());
        auto unload = qScopeGuard([module] {
            pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")});
            pactl({QStringLiteral("unload-module"), module});
        });

        auto recorder = makeRecorder();
        const QString path = newPath();
        QElapsedTimer recording;
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        recording.start();
        QSignalSpy moved(m_detector, &SystemVoiceActivityDetector::captureSourceChanged);
        pactl({QStringLiteral("set-default-sink"), QStringLiteral("headset")});
        QVERIFY(moved.wait(5000));
        QCOMPARE(m_detector->captureSourceName(), QStringLiteral("headset.monitor"));
        recordTheCallAndCheck(*recorder, path, recording, QStringLiteral("headset"));
    }

    void followsTheDefaultInputSwitchedMidRecording_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::newRow("while recording") << false;
        QTest::newRow("while paused") << true;
    }

    void followsTheDefaultInputSwitchedMidRecording()
    {
        QFETCH(bool, paused);
        // A second microphone, as when the user plugs in a headset and picks it.
        const SecondMicrophone second;
        QVERIFY(second.isReady());

        auto recorder = makeRecorder();
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        QSignalSpy reopened(recorder.get(), &SystemVoiceFilteredAudioRecorder::microphoneReopened);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QCOMPARE(recorder->microphoneSourceName(), QStringLiteral("microphone"));
        QTest::qWait(1000);
        if (paused)
            QCOMPARE(outcome(awaitTask(recorder->pause())), QStringLiteral("ok"));

        pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone2")});
        QVERIFY(reopened.wait(10000));
        QCOMPARE(reopened.first().first().toBool(), true);
        QCOMPARE(recorder->microphoneSourceName(), QStringLiteral("microphone2"));
        QCOMPARE(recorder->recordingState(), paused ? AudioRecordingState::Paused : AudioRecordingState::Recording);
        if (paused) {
            QCOMPARE(recordStreamNames(), QStringList{kMicrophoneStream}); // reopened corked, detector still off
            QCOMPARE(outcome(awaitTask(recorder->resume())), QStringLiteral("ok"));
        }

        // Only the new microphone hears the user now.
        const auto microphone = startPlayingIntoSink(m_userTurn, QStringLiteral("micfeed2"));
        waitForPlayers({microphone.get()});
        QTest::qWait(500);
        QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        QCOMPARE(spy.failures, QStringList());

        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        const auto decoded = decodeToMonoFloat(path, kRate);
        QVERIFY(decoded);
        // The turn ends half a second before the file does; its lead-in of silence is left out.
        const double end = seconds(*decoded, kRate);
        const double turn = rmsBetween(*decoded, kRate, end - m_userTo + 0.9, end - 0.8);
        QVERIFY2(
            turn > 0.02,
            qPrintable(QStringLiteral("the turn on the new microphone: RMS %1 over %2 s of file").arg(turn).arg(end)));
    }

    void staysOnItsMicrophoneWhenAMonitorBecomesTheDefaultInput()
    {
        auto recorder = makeRecorder();
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        QSignalSpy reopened(recorder.get(), &SystemVoiceFilteredAudioRecorder::microphoneReopened);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        pactl({QStringLiteral("set-default-source"), QStringLiteral("speakers.monitor")});
        auto restore = qScopeGuard([] { pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")}); });
        QTest::qWait(1500);
        QCOMPARE(reopened.count(), 0);
        QCOMPARE(recorder->microphoneSourceName(), QStringLiteral("microphone"));
        QCOMPARE(recordStreamNames().size(), 2);
        QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        QCOMPARE(spy.failures, QStringList());
    }

    void stateTable_data()
    {
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<int>("state");
        const QString ok = QStringLiteral("ok");
        QTest::newRow("stop twice") << QStringList{"start", "stop", "stop"}
                                    << QStringList{ok, ok, "recorder already stoppped"}
                                    << int(AudioRecordingState::Stopped);
        QTest::newRow("stop before any start")
            << QStringList{"stop"} << QStringList{"recorder already stoppped"} << int(AudioRecordingState::Stopped);
        QTest::newRow("start twice") << QStringList{"start", "start", "stop"}
                                     << QStringList{ok, "recorder already started", ok}
                                     << int(AudioRecordingState::Stopped);
        QTest::newRow("pause twice") << QStringList{"start", "pause", "pause", "stop"}
                                     << QStringList{ok, ok, "recorder already paused", ok}
                                     << int(AudioRecordingState::Stopped);
        QTest::newRow("resume while recording")
            << QStringList{"start", "resume"} << QStringList{ok, "recorder already started"}
            << int(AudioRecordingState::Recording);
        QTest::newRow("pause and resume") << QStringList{"start", "pause", "resume"} << QStringList{ok, ok, ok}
                                          << int(AudioRecordingState::Recording);
        QTest::newRow("start while paused keeps the paused recording")
            << QStringList{"start", "pause", "start", "stop"}
            << QStringList{ok, ok, "recorder is paused; stop it before starting a new recording", ok}
            << int(AudioRecordingState::Stopped);
        QTest::newRow("pause without a recording")
            << QStringList{"pause"} << QStringList{"recorder is not recording"} << int(AudioRecordingState::Stopped);
    }

    void stateTable()
    {
        QFETCH(QStringList, operations);
        QFETCH(QStringList, outcomes);
        QFETCH(int, state);

        auto recorder = makeRecorder();
        const QString path = newPath();
        QStringList seen;
        for (const QString &operation : operations) {
            if (operation == QLatin1String("start"))
                seen << outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path))));
            else if (operation == QLatin1String("stop"))
                seen << outcome(awaitTask(recorder->stop(), std::chrono::seconds(30)));
            else if (operation == QLatin1String("pause"))
                seen << outcome(awaitTask(recorder->pause()));
            else
                seen << outcome(awaitTask(recorder->resume()));
        }
        QCOMPARE(seen, outcomes);
        QCOMPARE(int(recorder->recordingState()), state);
        if (recorder->recordingState() != AudioRecordingState::Stopped)
            QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
    }

    void aStopDuringAStopReturnsWithTheCompleteFile()
    {
        auto recorder = makeRecorder();
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QTest::qWait(1000);
        QCoro::Task<> first = recorder->stop(); // runs until it waits for the file to be completed
        const auto second = awaitTask(recorder->stop(), std::chrono::seconds(30));
        QCOMPARE(outcome(second), QStringLiteral("ok"));
        QCOMPARE(recorder->recordingState(), AudioRecordingState::Stopped);
        QVERIFY(first.isReady());
        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QVERIFY2(probed->duration > 0.9, qPrintable(QString::number(probed->duration)));
    }

    void pauseStopsTheDetectorAndLeavesTheSpanOut()
    {
        auto recorder = makeRecorder();
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QTest::qWait(1000);
        QCOMPARE(outcome(awaitTask(recorder->pause())), QStringLiteral("ok"));
        QCOMPARE(recordStreamNames(), QStringList{kMicrophoneStream}); // corked, not closed; no detector
        QCOMPARE(playIntoSink(m_microphoneTrack, QStringLiteral("micfeed")), QString());
        QCOMPARE(outcome(awaitTask(recorder->resume())), QStringLiteral("ok"));
        QCOMPARE(recordStreamNames().size(), 2);
        QTest::qWait(1000);
        QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));

        const auto decoded = decodeToMonoFloat(path, kRate);
        QVERIFY(decoded);
        QVERIFY2(std::abs(seconds(*decoded, kRate) - 2.0) < 0.5, qPrintable(QString::number(seconds(*decoded, kRate))));
        QVERIFY2(rms(*decoded) < 0.005, "the speech played during the pause is in the recording");
    }

    void aFailedStartLeavesNothingBehind_data()
    {
        QTest::addColumn<QString>("microphone");
        QTest::addColumn<bool>("serverReachable");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("fileError"); // what the log says of the file, at error level
        QTest::newRow("no sound server: the detector cannot start") << QString() << false << true << QString();
        QTest::newRow("the microphone cannot open after the detector started")
            << QStringLiteral("no-such-source") << true << true << QString();
        QTest::newRow("the file cannot be created after the detector started")
            << QString() << true << false
            << QStringLiteral("^setupAudioConverterAndOutputFile error: .*/missing/practice_\\d+\\.m4a: "
                              "cannot create the file: No such file or directory$");
    }

    void aFailedStartLeavesNothingBehind()
    {
        QFETCH(QString, microphone);
        QFETCH(bool, serverReachable);
        QFETCH(bool, folderExists);
        QFETCH(QString, fileError);

        SystemVoiceFilteredAudioRecorder::Options options;
        options.capture.sourceName = microphone;
        SystemVoiceFilteredAudioRecorder recorder(
            [] { return std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>()); },
            options);
        const QString path =
            folderExists ? newPath() : m_dir.filePath(QStringLiteral("missing/practice_%1.m4a")).arg(++m_files);
        const QByteArray server = qgetenv("PULSE_SERVER");
        if (!serverReachable)
            qputenv("PULSE_SERVER", "unix:/nonexistent/brelta-test-socket");
        if (!fileError.isEmpty())
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(fileError));
        const auto started = awaitTask(recorder.start(QUrl::fromLocalFile(path)));
        qputenv("PULSE_SERVER", server);

        QVERIFY(started.threw());
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(recordStreamNames(), QStringList()); // neither the system audio nor the microphone
    }

    // The user picks another microphone, and stops the recording while the recorder opens it.
    void aStopWhileTheMicrophoneReopensEndsIt()
    {
        const SecondMicrophone second;
        QVERIFY(second.isReady());

        auto recorder = makeRecorder();
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        QSignalSpy reopened(recorder.get(), &SystemVoiceFilteredAudioRecorder::microphoneReopened);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        const QString first = sourceOutputIndex(kMicrophoneStream);
        QVERIFY(!first.isEmpty());
        // The first microphone's audio is in the file before the switch, however slow the machine is.
        const auto recordedSoFar = [&path] {
            try {
                return brelta::platform::audioFileDuration(path);
            } catch (const std::exception &) {
                return 0.0; // no fragment written yet
            }
        };
        QTRY_VERIFY_WITH_TIMEOUT(recordedSoFar() > 0.1, 20000);

        pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone2")});
        // The new microphone's stream is open on the server and waits for its first audio.
        QTRY_VERIFY_WITH_TIMEOUT(
            !sourceOutputIndex(kMicrophoneStream).isEmpty() && sourceOutputIndex(kMicrophoneStream) != first, 5000);
        QCOMPARE(reopened.count(), 0);
        const QString stopped = outcome(awaitTask(recorder->stop(), std::chrono::seconds(30)));
        const QStringList streamsAfterStop = recordStreamNames();
        recorder.reset();
        QTest::qWait(3000); // whatever the reopening still had to do, it has done now

        QCOMPARE(stopped, QStringLiteral("ok"));
        QCOMPARE(streamsAfterStop, QStringList());
        QCOMPARE(recordStreamNames(), QStringList());
        QCOMPARE(spy.failures, QStringList());
        QCOMPARE(reopened.count(), 0);
        QVERIFY(brelta::platform::audioFileDuration(path) > 0.1);
    }

    // The recorder is dropped (the application quits) while it asks the server which input to open.
    void aRecorderDroppedWhileItOpensTheMicrophoneLeavesNothing()
    {
        const std::optional<pid_t> server = soundServerPid();
        QVERIFY(server);
        auto resume = qScopeGuard([&server] { ::kill(*server, SIGCONT); });
        m_detector = nullptr;
        auto recorder = makeRecorder();
        const QString path = newPath();
        QCoro::Task<> starting = recorder->start(QUrl::fromLocalFile(path));
        // Once the detector runs the recorder has its file made; then it asks the server which input to open.
        // Hold the server still before that question goes out, so it stays unanswered.
        QDeadlineTimer deadline(15000);
        while (!(m_detector && m_detector->isRunning()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QVERIFY(m_detector && m_detector->isRunning());
        while (!QFile::exists(path) && !deadline.hasExpired())
            QThread::msleep(1); // no events: the recorder does not go on yet
        QVERIFY(QFile::exists(path));
        QVERIFY(::kill(*server, SIGSTOP) == 0);
        QTest::qWait(300);
        recorder.reset();
        ::kill(*server, SIGCONT);
        resume.dismiss();
        QTest::qWait(3000);
        QCOMPARE(recordStreamNames(), QStringList());
        QVERIFY2(!QFile::exists(path), "a start cut short left its file");
    }

    void survivesAKilledDetectorStream()
    {
        ManualClock clock;
        auto recorder = makeRecorder(&clock);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QVERIFY(killSourceOutput(sourceOutputIndex(kDetectorStream), cliSocket()));
        QTRY_VERIFY_WITH_TIMEOUT(m_detector->isRestartPending(), 5000);
        QCOMPARE(recordStreamNames(), QStringList{kMicrophoneStream});
        clock.advance(std::chrono::seconds(3));
        QTRY_COMPARE_WITH_TIMEOUT(recordStreamNames().size(), 2, 5000);

        // The restarted detector still blanks the other side.
        const auto speakers = startPlayingIntoSink(m_otherSide, QStringLiteral("speakers"));
        const auto microphone = startPlayingIntoSink(m_microphoneTrack, QStringLiteral("micfeed"));
        QTRY_VERIFY_WITH_TIMEOUT(recorder->hasVoiceActivity(), 30000);
        waitForPlayers({speakers.get(), microphone.get()});
        QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        QVERIFY(brelta::platform::audioFileDuration(path) > m_total);
    }

    void aDetectorThatGivesUpEndsTheRecording()
    {
        ManualClock clock;
        auto recorder = makeRecorder(&clock);
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QTest::qWait(1000);
        QVERIFY(killSourceOutput(sourceOutputIndex(kDetectorStream), cliSocket()));
        QTRY_VERIFY_WITH_TIMEOUT(m_detector->isRestartPending(), 5000);
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/brelta-test-socket");
        clock.advance(std::chrono::seconds(3));
        QTest::qWait(100);
        qputenv("PULSE_SERVER", server);

        QTRY_COMPARE_WITH_TIMEOUT(spy.failures.size(), 1, 10000);
        QCOMPARE(recorder->recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(recordStreamNames(), QStringList());
        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QVERIFY2(probed->duration > 0.9, qPrintable(QString::number(probed->duration)));
    }

    void aFullDiskIsReportedOnce()
    {
        // A file system of a few kilobytes fills up within seconds of recording.
        const QString tiny = m_dir.filePath(QStringLiteral("tiny"));
        QVERIFY(QDir().mkpath(tiny));
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=16k"), QStringLiteral("tmpfs"), tiny})
            != 0)
            QSKIP("cannot mount a small file system here");
        auto unmount = qScopeGuard([tiny] { QProcess::execute(QStringLiteral("umount"), {tiny}); });

        auto recorder = makeRecorder();
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        const QString path = tiny + QStringLiteral("/practice.m4a");
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        const auto microphone = startPlayingIntoSink(m_microphoneTrack, QStringLiteral("micfeed"));
        QTRY_COMPARE_WITH_TIMEOUT(spy.failures.size(), 1, 20000);
        QVERIFY2(spy.failures.first().contains(QLatin1String("cannot write the recording")),
                 qPrintable(spy.failures.first()));
        waitForPlayers({microphone.get()});
        QCOMPARE(spy.failures.size(), 1);

        // The stop still ends every stream and says the file could not be completed.
        QVERIFY(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30)))
                    .startsWith(QLatin1String("recorder failed to stop")));
        QCOMPARE(recorder->recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(recordStreamNames(), QStringList());
    }

    void aVanishedMicrophoneIsReportedAndTheFileStaysPlayable()
    {
        auto recorder = makeRecorder();
        RecorderDelegateSpy spy;
        recorder->setDelegate(&spy);
        QSignalSpy reopened(recorder.get(), &SystemVoiceFilteredAudioRecorder::microphoneReopened);
        const QString path = newPath();
        QCOMPARE(outcome(awaitTask(recorder->start(QUrl::fromLocalFile(path)))), QStringLiteral("ok"));
        QCOMPARE(playIntoSink(m_microphoneTrack, QStringLiteral("micfeed")), QString());
        QTest::qWait(1500); // at least one fragment of the file is on the disk

        const QString module = pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")})
                                   .split(QLatin1Char('\n'))
                                   .filter(QStringLiteral("module-remap-source"))
                                   .value(0)
                                   .section(QLatin1Char('\t'), 0, 0);
        QVERIFY(!module.isEmpty());
        pactl({QStringLiteral("unload-module"), module});
        const auto restoreMicrophone = [] {
            pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                   QStringLiteral("source_name=microphone"), QStringLiteral("master=micfeed.monitor"),
                   QStringLiteral("source_properties=device.description=Microphone")});
            pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")});
        };
        auto restore = qScopeGuard(restoreMicrophone);

        // What is left is the system audio's monitor: not a microphone, so nothing is reopened.
        QTRY_COMPARE_WITH_TIMEOUT(spy.failures.size(), 1, 10000);
        QVERIFY2(spy.failures.first().contains(QLatin1String("no microphone")), qPrintable(spy.failures.first()));
        QCOMPARE(reopened.count(), 1);
        QCOMPARE(reopened.first().first().toBool(), false);
        QCOMPARE(recordStreamNames(), QStringList{kDetectorStream});

        // Written so far, fragmented, and playable as it is.
        const auto sofar = decodeToMonoFloat(path, kRate);
        QVERIFY(sofar);
        QVERIFY2(seconds(*sofar, kRate) > 5, qPrintable(QString::number(seconds(*sofar, kRate))));
        QVERIFY(rms(*sofar) > 0.01);

        // The session then stops the recorder, which completes the file.
        QCOMPARE(outcome(awaitTask(recorder->stop(), std::chrono::seconds(30))), QStringLiteral("ok"));
        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QVERIFY(probed->duration >= seconds(*sofar, kRate) - 0.1);
        restore.dismiss();
        restoreMicrophone();
        QCOMPARE(pactl({QStringLiteral("get-default-source")}), QStringLiteral("microphone"));
    }
};

QTEST_GUILESS_MAIN(TestSystemVoiceFilteredRecorder)
#include "tst_systemvoicefilteredrecorder.moc"
