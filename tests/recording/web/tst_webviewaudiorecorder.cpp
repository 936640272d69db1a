#include "recording/web/WebViewAudioRecorder.h"

#include "platform/audio/AudioFileInfo.h"
#include "recording/recorders/RecorderErrors.h"
#include "recording/recorders/RecorderTestSupport.h"
#include "recording/web/WebRecorderPage.h"
#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace brelta::recording;
using namespace brelta::testsupport;
using namespace brelta::recording::testing;

namespace {

// Plays a file into a sink of the test server and keeps the event loop running meanwhile, so the page's
// chunks keep arriving.
void play(const QString &path, const QString &sink = QStringLiteral("micfeed"))
{
    auto player = startPlayingIntoSink(path, sink);
    QTRY_VERIFY_WITH_TIMEOUT(player->state() == QProcess::NotRunning, 60000);
    QCOMPARE(player->exitCode(), 0);
}

// The page takes a while to load before the first start.
QString run(WebViewAudioRecorder &recorder, const QString &operation, const QString &path)
{
    return runOperation(recorder, operation, path, std::chrono::seconds(60), std::chrono::seconds(15));
}

// The source the recorder's echo reference stream records from, as the server lists it.
QString echoReferenceSource()
{
    const QString stream = sourceOutputIndex(QStringLiteral("Echo reference"));
    if (stream.isEmpty())
        return {};
    QString sourceIndex;
    for (const QString &line :
         pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")})
             .split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() > 1 && fields[0] == stream)
            sourceIndex = fields[1];
    }
    for (const QString &line :
         pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")}).split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() > 1 && fields[0] == sourceIndex)
            return fields[1];
    }
    return {};
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(
        {QStringLiteral("*.webm"), QStringLiteral("*.reference.wav"), QStringLiteral("*partial*")},
        QDir::Files | QDir::Hidden);
}

// Keeps each failure the recorder reports with its cause.
struct FailureSpy : AudioRecorderDelegate
{
    void recorderDidFail(std::exception_ptr error) override { failures << describeFailure(error); }
    QStringList failures;
};

QVariantMap chunkMessage(const QString &recordingId, qint64 sequence, const QString &data)
{
    return {{QStringLiteral("event"), QStringLiteral("data-available")},
            {QStringLiteral("recordingId"), recordingId},
            {QStringLiteral("sequence"), sequence},
            {QStringLiteral("data"), data}};
}

} // namespace

class TestWebViewAudioRecorder : public QObject
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
                                   QStringLiteral("Thank you all for joining. Let us review the plan for the next "
                                                  "quarter."),
                                   44100),
                 QString());
    }

    void recordsSpeechIntoAPlayableFile()
    {
        WebViewAudioRecorder recorder;
        const QString path = newPath();
        QElapsedTimer recorded;
        recorded.start();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Recording);
        const double startup = double(recorded.restart()) / 1000;
        play(m_speech);
        QTest::qWait(300);
        const double seconds = double(recorded.elapsed()) / 1000;
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);

        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QVERIFY(probed->container.contains(QLatin1String("mp4")));
        QCOMPARE(probed->channels, 1);
        // About 32 kbit/s (a few seconds of speech swing either way), below the 48 kbit/s at which the upload
        // would compress it again.
        QVERIFY2(probed->bitRate > 16000 && probed->bitRate < 48000, qPrintable(QString::number(probed->bitRate)));
        // From the answer to the start until the stop, allowing for the page's start reaching back a little
        // and for the recorder missing the first fraction of a second.
        QVERIFY2(probed->duration > seconds - 0.6 && probed->duration < seconds + startup + 0.3,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(probed->duration).arg(seconds)));
        const auto decoded = decodeToMonoFloat(path, 16000);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) > 0.02, qPrintable(QString::number(rms(*decoded))));
        // The speech ends shortly before the stop: the last chunk is in the file.
        const auto windows = rmsPerWindow(*decoded, 1600);
        const auto loud = std::find_if(windows.rbegin(), windows.rend(), [](double level) { return level > 0.01; });
        QVERIFY(loud != windows.rend());
        const double lastSpeech = double(windows.rend() - loud) * 0.1;
        QVERIFY2(probed->duration - lastSpeech < 1.0,
                 qPrintable(QStringLiteral("speech ends %1 s before the file").arg(probed->duration - lastSpeech)));
        QCOMPARE(leftovers(m_dir.path()), QStringList());
    }

    void pauseLeavesItsSpanOut()
    {
        WebViewAudioRecorder recorder;
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QElapsedTimer recorded;
        recorded.start();
        QTest::qWait(1500);
        QCOMPARE(run(recorder, QStringLiteral("pause"), path), QStringLiteral("ok"));
        double seconds = double(recorded.elapsed()) / 1000;
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Paused);
        play(m_speech); // spoken only while paused
        QCOMPARE(run(recorder, QStringLiteral("resume"), path), QStringLiteral("ok"));
        recorded.restart();
        QTest::qWait(1500);
        seconds += double(recorded.elapsed()) / 1000;
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));

        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(std::abs(duration - seconds) <= 0.6,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(duration).arg(seconds)));
        const auto decoded = decodeToMonoFloat(path, 16000);
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
        QTest::newRow("pause twice") << QStringList{"start", "pause", "pause"}
                                     << QStringList{ok, ok, "recorder already paused"} << paused;
        QTest::newRow("resume while recording")
            << QStringList{"start", "resume"} << QStringList{ok, "recorder already started"} << recording;
        QTest::newRow("stop from paused")
            << QStringList{"start", "pause", "stop"} << QStringList{ok, ok, ok} << stopped;
        QTest::newRow("stop twice") << QStringList{"start", "stop", "stop"}
                                    << QStringList{ok, ok, "recorder already stopped"} << stopped;
        QTest::newRow("pause after stop changes nothing")
            << QStringList{"start", "stop", "pause"} << QStringList{ok, ok, ok} << stopped;
        QTest::newRow("a second recording after a stop")
            << QStringList{"start", "stop", "start"} << QStringList{ok, ok, ok} << recording;
    }

    void stateTable()
    {
        QFETCH(QStringList, operations);
        QFETCH(QStringList, outcomes);
        QFETCH(int, state);
        WebViewAudioRecorder recorder;
        const QString first = newPath();
        QString path = first;
        QStringList seen;
        for (const QString &operation : operations) {
            seen << run(recorder, operation, path);
            if (operation == QLatin1String("stop"))
                path = newPath();
            QTest::qWait(1200);
        }
        QCOMPARE(seen, outcomes);
        QCOMPARE(int(recorder.recordingState()), state);
        if (recorder.recordingState() != AudioRecordingState::Stopped)
            QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        // Whatever was refused, the first recording's file is whole.
        if (operations.first() == QLatin1String("start"))
            QVERIFY(brelta::platform::audioFileDuration(first) > 0.5);
        QCOMPARE(leftovers(m_dir.path()), QStringList());
    }

    void pageMessages_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("logged"); // critical lines the message causes
        QTest::addColumn<bool>("delegateTold");
        QTest::newRow("another event") << "other event" << QStringList{} << false;
        QTest::newRow("the page reports an error")
            << "error" << QStringList{"failed to handle webview message: NotReadableError: device lost"} << true;
        QTest::newRow("bad base64")
            << "bad base64" << QStringList{"failed to handle webview message: failed to decode data from base64"}
            << true;
        QTest::newRow("a chunk out of turn") << "gap" << QStringList{} << true;
        QTest::newRow("a chunk of an older recording") << "older recording" << QStringList{} << false;
        QTest::newRow("an error of an older recording")
            << "older error" << QStringList{"failed to handle webview message: old failure"} << false;
    }

    void pageMessages()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, logged);
        QFETCH(bool, delegateTold);
        WebViewAudioRecorder recorder;
        RecorderDelegateSpy delegate;
        recorder.setDelegate(&delegate);
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        const QString id = recorder.recordingId();
        QVERIFY(!id.isEmpty());
        QTest::qWait(1500); // a chunk or two on disk first

        QVariantMap message;
        if (kind == QLatin1String("other event"))
            message = {{QStringLiteral("event"), QStringLiteral("status")},
                       {QStringLiteral("data"), QStringLiteral("AAAA")}};
        else if (kind == QLatin1String("error"))
            message = {{QStringLiteral("event"), QStringLiteral("data-available")},
                       {QStringLiteral("recordingId"), id},
                       {QStringLiteral("error"), QStringLiteral("NotReadableError: device lost")}};
        else if (kind == QLatin1String("bad base64"))
            message = chunkMessage(id, 0, QStringLiteral("AAA"));
        else if (kind == QLatin1String("gap"))
            message = chunkMessage(id, 1000, QStringLiteral("AAAA"));
        else if (kind == QLatin1String("older recording"))
            message = chunkMessage(QStringLiteral("an-older-recording"), 0, QStringLiteral("AAAA"));
        else
            message = {{QStringLiteral("event"), QStringLiteral("data-available")},
                       {QStringLiteral("recordingId"), QStringLiteral("an-older-recording")},
                       {QStringLiteral("error"), QStringLiteral("old failure")}};
        for (const QString &line : logged)
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(line));
        if (!logged.isEmpty())
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^webview message: \\{")));
        if (delegateTold)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^the recording failed: ")));
        recorder.handlePageMessage(message);
        recorder.handlePageMessage(message); // told once, whatever comes again
        QTest::qWait(1500);

        QCOMPARE(delegate.failures.size(), delegateTold ? 1 : 0);
        if (delegateTold)
            QVERIFY2(delegate.failures.first().startsWith(QLatin1String("recording failed")),
                     qPrintable(delegate.failures.first()));
        // Whatever the page sent, the recording completes with what was written and the recorder is free.
        const QString stopped = run(recorder, QStringLiteral("stop"), path);
        QVERIFY2(stopped == QLatin1String("ok"), qPrintable(stopped));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QVERIFY(brelta::platform::audioFileDuration(path) > (delegateTold ? 0.5 : 2.0));
        QCOMPARE(leftovers(m_dir.path()), QStringList());
    }

    void failureWhileStartingIsToldOnceTheRecordingRuns()
    {
        WebViewAudioRecorder recorder;
        FailureSpy delegate;
        recorder.setDelegate(&delegate);
        bool told = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            // The start has made its recording but the page has not answered yet.
            if (told || recorder.recordingId().isEmpty() || recorder.recordingState() != AudioRecordingState::Stopped)
                return;
            told = true;
            recorder.handlePageMessage({{QStringLiteral("event"), QStringLiteral("data-available")},
                                        {QStringLiteral("recordingId"), recorder.recordingId()},
                                        {QStringLiteral("error"), QStringLiteral("NotReadableError: busy")}});
            QCOMPARE(delegate.failures.size(), 0); // not while the start is under way
        });
        probe.start(5);
        QTest::ignoreMessage(QtCriticalMsg, "failed to handle webview message: NotReadableError: busy");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^webview message: \\{")));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^the recording failed: ")));
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        probe.stop();
        QVERIFY(told);
        QCOMPARE(delegate.failures.size(), 1);
        QVERIFY2(delegate.failures.first().contains(QLatin1String("NotReadableError: busy")),
                 qPrintable(delegate.failures.first()));
        // Nothing was written; the stop says so and leaves the recorder ready.
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("recorder failed to stop"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(leftovers(m_dir.path()), QStringList());
        QCOMPARE(delegate.failures.size(), 1);
    }

    void chunksOutsideARecordingWriteNothing()
    {
        WebViewAudioRecorder recorder;
        QTest::ignoreMessage(QtCriticalMsg, "failed to handle webview message: audioFileUrl is nil");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^webview message: \\{")));
        recorder.handlePageMessage(chunkMessage(QStringLiteral("x"), 0, QStringLiteral("AAAA")));

        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        const QString id = recorder.recordingId();
        QTest::qWait(1500);
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        const QByteArray before = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QVERIFY(!before.isEmpty());
        // A late chunk of the stopped recording is dropped: nothing is written, nothing is re-created.
        recorder.handlePageMessage(chunkMessage(id, 99, QStringLiteral("AAAA")));
        QTest::qWait(300);
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
        QCOMPARE(leftovers(m_dir.path()), QStringList());
    }

    void rendererThatDiesTellsTheDelegateAndKeepsTheAudio()
    {
        WebViewAudioRecorder recorder;
        FailureSpy delegate;
        recorder.setDelegate(&delegate);
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        auto player = startPlayingIntoSink(m_speech);
        QTest::qWait(2500);
        const qint64 renderer = recorder.page()->renderProcessPid();
        QVERIFY(renderer > 0);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^the recording failed: ")));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^stopRecording error: ")));
        QCOMPARE(::kill(pid_t(renderer), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(delegate.failures.size(), 1, 10000);
        QVERIFY2(delegate.failures.first().contains(QLatin1String("renderer")), qPrintable(delegate.failures.first()));
        player->kill();
        player->waitForFinished();

        // The stop completes what arrived and leaves the recorder ready for the next recording.
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QCOMPARE(recorder.recordingState(), AudioRecordingState::Stopped);
        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(duration > 1.0, qPrintable(QString::number(duration)));
        const auto decoded = decodeToMonoFloat(path, 16000);
        QVERIFY(decoded && rms(*decoded) > 0.01);
        QCOMPARE(delegate.failures.size(), 1);

        const QString next = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), next), QStringLiteral("ok"));
        QVERIFY(recorder.page()->renderProcessPid() != renderer);
        QTest::qWait(1500);
        QCOMPARE(run(recorder, QStringLiteral("stop"), next), QStringLiteral("ok"));
        QVERIFY(brelta::platform::audioFileDuration(next) > 0.5);
    }

    void setupDuringARecordingKeepsThePage()
    {
        WebViewAudioRecorder recorder;
        recorder.setup();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.page()->isLoaded(), 30000);
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        const qint64 renderer = recorder.page()->renderProcessPid();
        QSignalSpy loads(recorder.page(), &QWebEnginePage::loadStarted);
        for (int i = 0; i < 3; ++i)
            recorder.setup();
        QTest::qWait(1500);
        QCOMPARE(loads.size(), 0);
        QCOMPARE(recorder.page()->renderProcessPid(), renderer);
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QVERIFY(brelta::platform::audioFileDuration(path) > 1.0);
    }

    void recordsWithoutAnEchoReference()
    {
        // No output to listen to: nothing plays there, so the recording goes on, and says so once.
        WebViewAudioRecorder::Options options;
        options.reference.serverAddress = QStringLiteral("unix:/nonexistent/pulse/native");
        WebViewAudioRecorder recorder(options);
        const QString path = newPath();
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^nothing to take the other side's voice from")));
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        play(m_speech);
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        const auto decoded = decodeToMonoFloat(path, 16000);
        QVERIFY(decoded);
        QVERIFY2(rms(*decoded) > 0.02, qPrintable(QString::number(rms(*decoded))));
    }

    void echoReferenceFollowsTheDefaultOutput()
    {
        WebViewAudioRecorder recorder;
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QElapsedTimer recorded;
        recorded.start();
        QCOMPARE(echoReferenceSource(), QStringLiteral("speakers.monitor"));
        const QString module = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                      QStringLiteral("sink_name=h14headset")});
        QVERIFY(!module.isEmpty());
        pactl({QStringLiteral("set-default-sink"), QStringLiteral("h14headset")});
        QTRY_COMPARE_WITH_TIMEOUT(echoReferenceSource(), QStringLiteral("h14headset.monitor"), 10000);
        pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")});
        QTRY_COMPARE_WITH_TIMEOUT(echoReferenceSource(), QStringLiteral("speakers.monitor"), 10000);
        pactl({QStringLiteral("unload-module"), module});
        // The switches take well under a second: record on long enough that a span lost to them would show.
        QTest::qWait(1500);
        const double seconds = double(recorded.elapsed()) / 1000;
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        // The whole span is in the file, switches included (allowing for the first fraction of a second).
        const double duration = brelta::platform::audioFileDuration(path);
        QVERIFY2(duration > seconds - 0.6 && duration < seconds + 0.6,
                 qPrintable(QStringLiteral("file %1 s, recorded %2 s").arg(duration).arg(seconds)));
        // Nothing of the user's setup moved: the microphone is where it was.
        QCOMPARE(pactl({QStringLiteral("get-default-source")}), QStringLiteral("microphone"));
    }

    void pageCannotNavigateOrDownload()
    {
        WebViewAudioRecorder recorder;
        recorder.setup();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.page()->isLoaded(), 30000);
        const QString path = newPath();
        QCOMPARE(run(recorder, QStringLiteral("start"), path), QStringLiteral("ok"));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^refused a navigation to http://example.invalid")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^refused a download of ")));
        recorder.page()->runJavaScript(QStringLiteral(R"(
            const link = document.createElement('a');
            link.href = URL.createObjectURL(new Blob(['not audio'], {type: 'application/octet-stream'}));
            link.download = 'practice.m4a';
            document.body.appendChild(link);
            link.click();
            setTimeout(function () { location.href = 'http://example.invalid/'; }, 200);
        )"));
        QTest::qWait(2000);
        QCOMPARE(recorder.page()->url().host(), WebRecorderPage::pageUrl().host());
        QCOMPARE(run(recorder, QStringLiteral("stop"), path), QStringLiteral("ok"));
        QVERIFY(brelta::platform::audioFileDuration(path) > 1.5);
        const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
        QCOMPARE(QDir(downloads).entryList(QDir::Files), QStringList());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    TestWebViewAudioRecorder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webviewaudiorecorder.moc"
