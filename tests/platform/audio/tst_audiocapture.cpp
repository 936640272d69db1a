#include "platform/audio/AudioCapture.h"

#include "testsupport/AudioFixtures.h"
#include "testsupport/CheckedWait.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta::platform;
using namespace brelta::testsupport;

namespace {

// Collects what a capture delivers.
struct Collector
{
    explicit Collector(AudioCapture &capture)
    {
        QObject::connect(&capture, &AudioCapture::blockReady, &capture,
                         [this](const PcmBuffer &block) { blocks.push_back(block); });
    }

    std::vector<float> samples() const
    {
        std::vector<float> all;
        for (const PcmBuffer &block : blocks) {
            for (std::uint32_t i = 0; i < block.frameLength(); ++i)
                all.push_back(float(block.int16Channel(0)[i]) / 32768.0f);
        }
        return all;
    }

    std::vector<PcmBuffer> blocks;
};

} // namespace

class TestAudioCapture : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_speech;

private Q_SLOTS:
    void initTestCase()
    {
        m_speech = m_dir.filePath(QStringLiteral("speech.wav"));
        QCOMPARE(makeSpeechFixture(m_speech, QStringLiteral("The quick brown fox jumps over the lazy dog."), 44100),
                 QString());
    }

    void recordsTheDefaultSourceInExactBlocks()
    {
        AudioCapture capture;
        Collector collector(capture);
        const auto started = awaitTask(capture.start(AudioCaptureOptions{}));
        QVERIFY2(started.succeeded(), qPrintable(started.errorText()));
        QVERIFY(capture.isRunning());
        QCOMPARE(capture.recordingSourceName(), QStringLiteral("microphone"));
        QCOMPARE(playIntoSink(m_speech), QString());
        QTRY_VERIFY_WITH_TIMEOUT(collector.blocks.size() >= 8, 10000);
        capture.stop();
        QVERIFY(!capture.isRunning());

        const std::size_t delivered = collector.blocks.size();
        for (std::size_t i = 0; i + 1 < delivered; ++i) {
            QCOMPARE(collector.blocks[i].frameLength(), 13230u); // 300 ms at 44.1 kHz
            QCOMPARE(collector.blocks[i].format(), (PcmFormat{SampleType::Int16, 44100, 1}));
        }
        QVERIFY(collector.blocks.back().frameLength() <= 13230u); // what was left at the stop
        QVERIFY2(rms(collector.samples()) > 0.01, "the recording is silent");
        QTest::qWait(500);
        QCOMPARE(collector.blocks.size(), delivered); // nothing after stop()
    }

    // The owner gives up while the server is still answering: stops the capture, or drops it altogether.
    void aStartCutShortLeavesNothingOpen_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("stopped") << false;
        QTest::newRow("dropped") << true;
    }

    void aStartCutShortLeavesNothingOpen()
    {
        QFETCH(bool, dropped);
        auto capture = std::make_unique<AudioCapture>();
        AudioCaptureOptions options;
        options.streamName = QStringLiteral("Cut short");
        QCoro::Task<> starting = capture->start(options);
        if (dropped)
            capture.reset();
        else
            capture->stop();
        const auto started = awaitTask(std::move(starting));
        QVERIFY(started.threw());
        QVERIFY2(started.errorText().contains(QLatin1String("stopped while it started")),
                 qPrintable(started.errorText()));
        if (capture)
            QVERIFY(!capture->isRunning());
        QTest::qWait(300);
        QVERIFY(!recordStreamNames().contains(QStringLiteral("Cut short")));
    }

    void recordsANamedSource()
    {
        AudioCapture capture;
        Collector collector(capture);
        AudioCaptureOptions options;
        options.sourceName = QStringLiteral("speakers.monitor");
        options.format = PcmFormat{SampleType::Int16, 8000, 1};
        options.blockMilliseconds = 30;
        options.dontMove = true;
        const auto started = awaitTask(capture.start(options));
        QVERIFY2(started.succeeded(), qPrintable(started.errorText()));
        QCOMPARE(capture.recordingSourceName(), QStringLiteral("speakers.monitor"));
        QCOMPARE(playIntoSink(m_speech, QStringLiteral("speakers")), QString());
        QTest::qWait(300);
        capture.stop();
        QVERIFY(collector.blocks.size() > 20);
        QCOMPARE(collector.blocks.front().frameLength(), 240u);
        QVERIFY2(rms(collector.samples()) > 0.01, "the monitor recording is silent");
    }

    void startFailuresAreClear_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("message");
        QTest::newRow("no server") << QStringLiteral("unix:/nonexistent/pulse/native") << QString()
                                   << QStringLiteral(
                                          "cannot reach the PulseAudio server at \"unix:/nonexistent/pulse/native\"");
        QTest::newRow("no such source") << QString() << QStringLiteral("no-such-source")
                                        << QStringLiteral("cannot record: no audio source named \"no-such-source\"");
    }

    void startFailuresAreClear()
    {
        QFETCH(QString, server);
        QFETCH(QString, source);
        QFETCH(QString, message);
        AudioCapture capture;
        AudioCaptureOptions options;
        options.serverAddress = server;
        options.sourceName = source;
        const auto started = awaitTask(capture.start(options));
        QVERIFY(started.threw());
        QVERIFY2(started.errorText().startsWith(message), qPrintable(started.errorText()));
        QVERIFY(!capture.isRunning());
        // A failed start leaves nothing behind: the same object starts fine afterwards.
        const auto again = awaitTask(capture.start(AudioCaptureOptions{}));
        QVERIFY2(again.succeeded(), qPrintable(again.errorText()));
        capture.stop();
    }

    void pauseDeliversNothingUntilResume()
    {
        AudioCapture capture;
        Collector collector(capture);
        AudioCaptureOptions options;
        options.blockMilliseconds = 100;
        QVERIFY(awaitTask(capture.start(options)).succeeded());
        QTRY_VERIFY_WITH_TIMEOUT(collector.blocks.size() >= 3, 10000);
        capture.pause();
        QVERIFY(capture.isPaused());
        QTest::qWait(300); // blocks already on their way still arrive
        const std::size_t atPause = collector.blocks.size();
        QTest::qWait(1000);
        QVERIFY2(collector.blocks.size() <= atPause + 1,
                 qPrintable(QString::number(collector.blocks.size() - atPause)));
        capture.resume();
        QTRY_VERIFY_WITH_TIMEOUT(collector.blocks.size() >= atPause + 5, 10000);
        capture.stop();
    }

    void reportsTheDeathOfItsStream()
    {
        const QString module = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                      QStringLiteral("sink_name=h4vanishing")});
        QVERIFY(!module.isEmpty());
        AudioCapture capture;
        QSignalSpy failed(&capture, &AudioCapture::failed);
        AudioCaptureOptions options;
        options.sourceName = QStringLiteral("h4vanishing.monitor");
        options.dontMove = true;
        const auto started = awaitTask(capture.start(options));
        QVERIFY2(started.succeeded(), qPrintable(started.errorText()));
        pactl({QStringLiteral("unload-module"), module});
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        QVERIFY2(failed.first().first().toString().contains(QLatin1String("h4vanishing.monitor")),
                 qPrintable(failed.first().first().toString()));
        QVERIFY(!capture.isRunning());
        capture.stop();
    }

    void tellsTheServersDefaults()
    {
        const auto info = awaitTask(AudioCapture::queryServer());
        QVERIFY2(info.succeeded(), qPrintable(info.errorText()));
        QCOMPARE(info.value->defaultSinkName, QStringLiteral("speakers"));
        QCOMPARE(info.value->defaultSourceName, QStringLiteral("microphone"));
        QVERIFY(!info.value->defaultSourceIsMonitor); // a remap of a monitor is a source of its own

        pactl({QStringLiteral("set-default-source"), QStringLiteral("speakers.monitor")});
        auto restore = qScopeGuard([] { pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")}); });
        const auto monitor = awaitTask(AudioCapture::queryServer());
        QVERIFY2(monitor.succeeded(), qPrintable(monitor.errorText()));
        QCOMPARE(monitor.value->defaultSourceName, QStringLiteral("speakers.monitor"));
        QVERIFY(monitor.value->defaultSourceIsMonitor);
    }

    void followsTheWatchedDefault_data()
    {
        QTest::addColumn<bool>("sink");
        QTest::newRow("default sink") << true;
        QTest::newRow("default source") << false;
    }

    void followsTheWatchedDefault()
    {
        QFETCH(bool, sink);
        const QString command = sink ? QStringLiteral("set-default-sink") : QStringLiteral("set-default-source");
        const QString original = sink ? QStringLiteral("speakers") : QStringLiteral("microphone");
        const QString other = sink ? QStringLiteral("micfeed") : QStringLiteral("micfeed.monitor");

        AudioCapture capture;
        QSignalSpy sinkChanged(&capture, &AudioCapture::defaultSinkChanged);
        QSignalSpy sourceChanged(&capture, &AudioCapture::defaultSourceChanged);
        QSignalSpy &watched = sink ? sinkChanged : sourceChanged;
        QSignalSpy &unwatched = sink ? sourceChanged : sinkChanged;
        AudioCaptureOptions options;
        options.sourceName = QStringLiteral("speakers.monitor");
        options.watchDefaultSink = sink;
        options.watchDefaultSource = !sink;
        QVERIFY(awaitTask(capture.start(options)).succeeded());
        const auto restoreDefaults = [] {
            pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")});
            pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")});
        };
        auto restore = qScopeGuard(restoreDefaults);

        pactl({command, other});
        QTRY_COMPARE_WITH_TIMEOUT(watched.count(), 1, 5000);
        QCOMPARE(watched.first().first().toString(), other);
        // The default not watched changes too, unannounced.
        pactl({sink ? QStringLiteral("set-default-source") : QStringLiteral("set-default-sink"),
               sink ? QStringLiteral("micfeed.monitor") : QStringLiteral("micfeed")});
        pactl({command, original});
        QTRY_COMPARE_WITH_TIMEOUT(watched.count(), 2, 5000);
        QCOMPARE(watched.last().first().toString(), original);
        restore.dismiss();
        restoreDefaults();
        QTest::qWait(300);
        QCOMPARE(unwatched.count(), 0);
        QCOMPARE(watched.count(), 2);
        capture.stop();
    }
};

QTEST_GUILESS_MAIN(TestAudioCapture)
#include "tst_audiocapture.moc"
