#include "recording/vad/SystemVoiceActivityDetector.h"

#include "platform/Clock.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/vad/VadProvider.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace brelta::recording;
using namespace brelta::testsupport;
using brelta::platform::ManualClock;

namespace {

struct DelegateSpy : SystemVoiceActivityDectectorDelegate
{
    void voiceActivityDidChange(bool hasVoice) override { changes << hasVoice; }
    void detectorDidFail(std::exception_ptr error) override { failures << describeException(error); }
    QList<bool> changes;
    QStringList failures;
};

// A provider whose flag flips with every buffer: voice changes far quicker than the main thread looks.
struct FlippingProvider : IVadProvider
{
    bool hasVoice() const override { return flag.load(); }
    std::uint32_t pendingSampleCount() const override { return 0; }
    void processBuffer(const brelta::platform::PcmBuffer &) override
    {
        flag = !flag;
        ++buffers;
    }
    std::atomic<bool> flag{false};
    std::atomic<int> buffers{0};
};

// Plays a file into a sink while the event loop runs, as audio arrives in a running application.
bool playWhileRunning(const QString &path, const QString &sink)
{
    const auto player = startPlayingIntoSink(path, sink);
    QDeadlineTimer deadline(60000);
    while (player->state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    return player->exitStatus() == QProcess::NormalExit && player->exitCode() == 0;
}

const QString kStreamName = QStringLiteral("System audio voice detection");

std::unique_ptr<SystemVoiceActivityDetector> makeDetector(ManualClock *clock = nullptr,
                                                          brelta::platform::ErrorTracker *errorTracker = nullptr)
{
    SystemVoiceActivityDetector::Options options;
    options.errorTracker = errorTracker;
    return std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>(), clock, options);
}

// While it lives, keeps the detector's log lines as "<level>: <text>" and the reports an error tracker
// without a DSN would send as "report <level>: <message>"; every line is still printed.
class LogCapture
{
public:
    LogCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        LogCapture *self = s_current;
        const QLatin1String category(context.category ? context.category : "");
        QString line;
        if (category == QLatin1String("brelta.recording.SystemVoiceActivityDetector")) {
            static const QHash<QtMsgType, QString> levels{{QtDebugMsg, QStringLiteral("debug")},
                                                          {QtInfoMsg, QStringLiteral("info")},
                                                          {QtWarningMsg, QStringLiteral("warning")},
                                                          {QtCriticalMsg, QStringLiteral("error")}};
            line = levels.value(type) + QStringLiteral(": ") + text;
        } else if (category == QLatin1String("brelta.platform.ErrorTracker")
                   && text.startsWith(QLatin1String("would send: "))) {
            const QJsonObject event = QJsonDocument::fromJson(text.mid(12).toUtf8()).object();
            line =
                QStringLiteral("report %1: %2")
                    .arg(event.value(QLatin1String("level")).toString(),
                         event.value(QLatin1String("logentry")).toObject().value(QLatin1String("message")).toString());
        }
        if (!line.isEmpty()) {
            QMutexLocker lock(&self->m_mutex);
            self->m_lines << line;
        }
        self->m_previous(type, context, text);
    }

    static inline LogCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

} // namespace

class TestSystemVoiceDetector : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_speech;

    QString cliSocket() const { return m_dir.filePath(QStringLiteral("pulse-cli")); }

    // Plays the speech into `sink` and returns whether the detector's delegate saw the voice come and go.
    void expectVoiceFrom(const QString &sink, DelegateSpy &spy)
    {
        spy.changes.clear();
        QVERIFY(playWhileRunning(m_speech, sink));
        QTRY_VERIFY_WITH_TIMEOUT(spy.changes.size() >= 2, 5000);
        QCOMPARE(spy.changes.first(), true);
        QCOMPARE(spy.changes.last(), false);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(makeSpeechFixture(m_speech,
                                   QStringLiteral("Can everyone see my screen? The numbers for this "
                                                  "quarter look much better than we expected."),
                                   48000, 0.2, 1.0),
                 QString());
    }

    void cleanup() { pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")}); }

    void listensToTheDefaultOutputAndHearsItsVoice()
    {
        auto detector = makeDetector();
        DelegateSpy spy;
        detector->setDelegate(&spy);
        QVERIFY(!detector->isRunning());
        QVERIFY(awaitTask(detector->start()).succeeded());
        QVERIFY(detector->isRunning());
        QCOMPARE(detector->captureSourceName(), QStringLiteral("speakers.monitor"));

        expectVoiceFrom(QStringLiteral("speakers"), spy);

        // The user's own voice is not the system audio.
        spy.changes.clear();
        QVERIFY(playWhileRunning(m_speech, QStringLiteral("micfeed")));
        QTest::qWait(300);
        QCOMPARE(spy.changes, QList<bool>());
        QVERIFY(!detector->hasVoiceActivity());

        QVERIFY(awaitTask(detector->stop()).succeeded());
        QVERIFY(!detector->isRunning());
        QCOMPARE(sourceOutputIndex(kStreamName), QString());
    }

    void secondStartAndSecondStopChangeNothing()
    {
        auto detector = makeDetector();
        QVERIFY(awaitTask(detector->start()).succeeded());
        const QString stream = sourceOutputIndex(kStreamName);
        QVERIFY(!stream.isEmpty());

        QTest::ignoreMessage(QtCriticalMsg, "detector already running");
        QVERIFY(awaitTask(detector->start()).succeeded());
        QCOMPARE(sourceOutputIndex(kStreamName), stream);

        QVERIFY(awaitTask(detector->stop()).succeeded());
        QTest::ignoreMessage(QtCriticalMsg, "detector already stopped");
        QVERIFY(awaitTask(detector->stop()).succeeded());
        QVERIFY(!detector->isRunning());
    }

    void followsTheDefaultOutput()
    {
        const QString module = pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=headset")});
        QVERIFY(!module.isEmpty());
        auto unload = qScopeGuard([module] { pactl({QStringLiteral("unload-module"), module}); });

        auto detector = makeDetector();
        DelegateSpy spy;
        detector->setDelegate(&spy);
        QVERIFY(awaitTask(detector->start()).succeeded());
        QSignalSpy moved(detector.get(), &SystemVoiceActivityDetector::captureSourceChanged);

        pactl({QStringLiteral("set-default-sink"), QStringLiteral("headset")});
        QVERIFY(moved.wait(5000));
        QCOMPARE(detector->captureSourceName(), QStringLiteral("headset.monitor"));
        expectVoiceFrom(QStringLiteral("headset"), spy);

        // Back on the speakers, the headset's sound no longer counts.
        pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")});
        QVERIFY(moved.wait(5000));
        QCOMPARE(detector->captureSourceName(), QStringLiteral("speakers.monitor"));
        spy.changes.clear();
        QVERIFY(playWhileRunning(m_speech, QStringLiteral("headset")));
        QTest::qWait(300);
        QCOMPARE(spy.changes, QList<bool>());
        QVERIFY(detector->isRunning());
    }

    void restartsAKilledCaptureAfterThreeSeconds()
    {
        ManualClock clock;
        brelta::platform::ErrorTracker errors({.storageDirectory = m_dir.filePath(QStringLiteral("errors"))}, nullptr,
                                              &clock);
        LogCapture log;
        auto detector = makeDetector(&clock, &errors);
        DelegateSpy spy;
        detector->setDelegate(&spy);
        QVERIFY(awaitTask(detector->start()).succeeded());
        QSignalSpy restarted(detector.get(), &SystemVoiceActivityDetector::restartFinished);

        const QString stream = sourceOutputIndex(kStreamName);
        QVERIFY(!stream.isEmpty());
        QVERIFY(killSourceOutput(stream, cliSocket()));
        QTRY_VERIFY_WITH_TIMEOUT(detector->isRestartPending(), 5000);

        clock.advance(std::chrono::milliseconds(2900));
        QVERIFY(detector->isRestartPending());
        QCOMPARE(restarted.count(), 0);
        clock.advance(std::chrono::milliseconds(100));
        QTRY_COMPARE_WITH_TIMEOUT(restarted.count(), 1, 5000);
        QCOMPARE(restarted.first().first().toBool(), true);
        QVERIFY(detector->isRunning());
        QVERIFY(!sourceOutputIndex(kStreamName).isEmpty());
        QVERIFY(sourceOutputIndex(kStreamName) != stream);

        expectVoiceFrom(QStringLiteral("speakers"), spy);
        QCOMPARE(spy.failures, QStringList());
        // Dashboards read these texts: word for word, at their levels.
        QStringList lines = log.lines().filter(QRegularExpression(QStringLiteral("^(error|info|report)")));
        lines.removeIf([](const QString &line) { return line.startsWith(QLatin1String("info: listening to")); });
        QCOMPARE(
            lines.mid(0, 4),
            (QStringList{QStringLiteral("error: stream didStopWithError: the record stream on "
                                        "\"speakers.monitor\" ended: Entity killed"),
                         QStringLiteral("info: Recorder stopped by error while running. Try to restart after 3s..."),
                         QStringLiteral("info: Restart succeed"), QStringLiteral("report info: Restart succeed")}));
    }

    void aFailedRestartIsReportedToTheDelegate()
    {
        ManualClock clock;
        brelta::platform::ErrorTracker errors({.storageDirectory = m_dir.filePath(QStringLiteral("errors"))}, nullptr,
                                              &clock);
        LogCapture log;
        auto detector = makeDetector(&clock, &errors);
        DelegateSpy spy;
        detector->setDelegate(&spy);
        QVERIFY(awaitTask(detector->start()).succeeded());
        QSignalSpy restarted(detector.get(), &SystemVoiceActivityDetector::restartFinished);

        QVERIFY(killSourceOutput(sourceOutputIndex(kStreamName), cliSocket()));
        QTRY_VERIFY_WITH_TIMEOUT(detector->isRestartPending(), 5000);
        // By the time of the restart the sound server cannot be reached.
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/brelta-test-socket");
        clock.advance(std::chrono::seconds(3));
        QTest::qWait(100);
        qputenv("PULSE_SERVER", server);
        QTRY_COMPARE_WITH_TIMEOUT(restarted.count(), 1, 10000);
        QCOMPARE(restarted.first().first().toBool(), false);
        QCOMPARE(spy.failures.size(), 1);
        QVERIFY(!detector->isRunning());
        const QString error = QStringLiteral("Restart error: ") + spy.failures.first();
        QVERIFY2(error.contains(QLatin1String("cannot reach")), qPrintable(error));
        const QStringList lines = log.lines();
        QVERIFY2(lines.contains(QStringLiteral("error: ") + error), qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY2(lines.contains(QStringLiteral("report error: ") + error), qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(!lines.contains(QStringLiteral("info: Restart succeed")));
    }

    void anOwnerStopDuringTheWaitCancelsTheRestart()
    {
        ManualClock clock;
        auto detector = makeDetector(&clock);
        QVERIFY(awaitTask(detector->start()).succeeded());
        QSignalSpy restarted(detector.get(), &SystemVoiceActivityDetector::restartFinished);

        QVERIFY(killSourceOutput(sourceOutputIndex(kStreamName), cliSocket()));
        QTRY_VERIFY_WITH_TIMEOUT(detector->isRestartPending(), 5000);
        QVERIFY(awaitTask(detector->stop()).succeeded());
        clock.advance(std::chrono::seconds(5));
        QTest::qWait(500);
        QCOMPARE(restarted.count(), 0);
        QVERIFY(!detector->isRunning());
        QCOMPARE(sourceOutputIndex(kStreamName), QString());
    }

    // A headset unplugged or the sound server restarting has the detector open a new capture; the user stops
    // the recording meanwhile and the recorder drops the detector right after stop().
    void aStopWhileACaptureOpensEndsItAndTheDetectorCanGo_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("a new default output's capture waits for its first audio") << false;
        QTest::newRow("a restarted capture connects to the server") << true;
    }

    void aStopWhileACaptureOpensEndsItAndTheDetectorCanGo()
    {
        QFETCH(bool, restart);
        const QString module = pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=headset")});
        QVERIFY(!module.isEmpty());
        auto unload = qScopeGuard([module] {
            pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")});
            pactl({QStringLiteral("unload-module"), module});
        });
        ManualClock clock;
        auto detector = makeDetector(&clock);
        DelegateSpy spy;
        detector->setDelegate(&spy);
        QVERIFY(awaitTask(detector->start()).succeeded());

        if (restart) {
            QVERIFY(killSourceOutput(sourceOutputIndex(kStreamName), cliSocket()));
            QTRY_VERIFY_WITH_TIMEOUT(detector->isRestartPending(), 5000);
            clock.advance(std::chrono::seconds(3)); // returns as the new capture begins to connect
        } else {
            pactl({QStringLiteral("set-default-sink"), QStringLiteral("headset")});
            QTRY_COMPARE_WITH_TIMEOUT(recordStreamNames().count(kStreamName), 2, 5000);
        }
        const bool stopped = awaitTask(detector->stop()).succeeded();
        const bool running = detector->isRunning();
        const QStringList streamsAfterStop = recordStreamNames();
        detector.reset();
        QTest::qWait(3000); // whatever the opening still had to do, it has done now

        QVERIFY(stopped);
        QVERIFY(!running);
        QCOMPARE(streamsAfterStop, QStringList());
        QCOMPARE(recordStreamNames(), QStringList());
        QCOMPARE(spy.failures, QStringList());
    }

    void quickChangesReachTheDelegateAsTheLatestValue()
    {
        auto provider = std::make_unique<FlippingProvider>();
        FlippingProvider *flips = provider.get();
        SystemVoiceActivityDetector detector(std::move(provider));
        DelegateSpy spy;
        detector.setDelegate(&spy);
        QVERIFY(awaitTask(detector.start()).succeeded());
        QTRY_VERIFY_WITH_TIMEOUT(flips->buffers.load() > 4, 5000);
        QThread::msleep(300); // the main thread is busy while the flag keeps flipping
        QTest::qWait(100);
        QVERIFY(awaitTask(detector.stop()).succeeded());
        QTest::qWait(100);

        QVERIFY(!spy.changes.isEmpty());
        QVERIFY2(spy.changes.size() < flips->buffers.load(), "every flip was delivered, none was folded");
        for (int i = 1; i < spy.changes.size(); ++i)
            QVERIFY2(spy.changes.at(i) != spy.changes.at(i - 1), "the same value was delivered twice in a row");
        QCOMPARE(spy.changes.last(), detector.hasVoiceActivity());
    }

    void startWithoutASoundServerFailsAndLeavesNothingRunning()
    {
        const QByteArray server = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/brelta-test-socket");
        auto detector = makeDetector();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^start error: cannot reach ")));
        const auto started = awaitTask(detector->start());
        qputenv("PULSE_SERVER", server);
        QVERIFY(started.threw());
        QVERIFY(!detector->isRunning());
        QCOMPARE(detector->captureSourceName(), QString());
    }
};

QTEST_GUILESS_MAIN(TestSystemVoiceDetector)
#include "tst_systemvoicedetector.moc"
