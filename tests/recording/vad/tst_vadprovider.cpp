#include "recording/vad/VadProvider.h"

#include "platform/audio/Fvad.h"
#include "testsupport/AudioFixtures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace brelta::recording;
using brelta::platform::Fvad;
using brelta::platform::PcmBuffer;
using brelta::platform::PcmFormat;
using brelta::platform::SampleType;

namespace {

// A buffer of `length` samples in the provider format whose sample i holds (start + i) % 30000.
PcmBuffer ramp(std::uint32_t length, int start)
{
    PcmBuffer buffer(WebRtcVadProviderProvider::format(), length);
    buffer.setFrameLength(length);
    for (std::uint32_t i = 0; i < length; ++i)
        buffer.int16Channel(0)[i] = std::int16_t((start + int(i)) % 30000);
    return buffer;
}

PcmBuffer fromSamples(std::span<const std::int16_t> samples)
{
    PcmBuffer buffer(WebRtcVadProviderProvider::format(), std::uint32_t(samples.size()));
    buffer.setFrameLength(buffer.frameCapacity());
    std::copy(samples.begin(), samples.end(), buffer.int16Channel(0).begin());
    return buffer;
}

// Records the frames a provider hands to its detector and answers with a fixed result.
struct RecordingClassifier
{
    QMutex mutex;
    std::vector<std::vector<std::int16_t>> frames;
    int answer = 0;

    WebRtcVad::Classifier classifier()
    {
        return [this](std::span<const std::int16_t> frame) {
            QMutexLocker lock(&mutex);
            frames.emplace_back(frame.begin(), frame.end());
            return answer;
        };
    }
};

} // namespace

class TestVadProvider : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cutsBuffersOfAnyLengthIntoFrames_data()
    {
        QTest::addColumn<QList<uint>>("buffers");
        QTest::addColumn<int>("frames");
        QTest::addColumn<uint>("pending");
        QTest::newRow("100 samples wait") << QList<uint>{100} << 0 << 100u;
        QTest::newRow("100 then 170 give one frame and leave 30") << QList<uint>{100, 170} << 1 << 30u;
        QTest::newRow("exactly 480 give two frames, nothing left") << QList<uint>{480} << 2 << 0u;
        QTest::newRow("239 then 1 complete a frame") << QList<uint>{239, 1} << 1 << 0u;
        QTest::newRow("an empty buffer changes nothing") << QList<uint>{0} << 0 << 0u;
        QTest::newRow("1000 give four frames and leave 40") << QList<uint>{1000} << 4 << 40u;
    }

    void cutsBuffersOfAnyLengthIntoFrames()
    {
        QFETCH(QList<uint>, buffers);
        QFETCH(int, frames);
        QFETCH(uint, pending);
        RecordingClassifier detector;
        WebRtcVadProviderProvider provider(std::make_shared<WebRtcVad>(detector.classifier()));
        int sent = 0;
        for (const uint length : buffers) {
            provider.processBuffer(ramp(length, sent));
            sent += int(length);
        }
        QCOMPARE(provider.pendingSampleCount(), pending);
        QCOMPARE(int(detector.frames.size()), frames);
        QCOMPARE(int(provider.recentResults().size()), frames);
        // Frame k holds samples 240k to 240k + 239, in order.
        for (int k = 0; k < frames; ++k) {
            QCOMPARE(int(detector.frames[std::size_t(k)].size()), 240);
            QCOMPARE(int(detector.frames[std::size_t(k)].front()), 240 * k);
            QCOMPARE(int(detector.frames[std::size_t(k)].back()), 240 * k + 239);
        }
    }

    void constructionConfiguresModeThreeAt8000HzAndSaysSo()
    {
        QTemporaryDir dir;
        const QString capturePath = dir.filePath(QStringLiteral("stdout.txt"));
        std::fflush(stdout);
        const int savedStdout = ::dup(STDOUT_FILENO);
        const int capture = ::open(QFile::encodeName(capturePath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(savedStdout >= 0 && capture >= 0);
        ::dup2(capture, STDOUT_FILENO);
        {
            WebRtcVadProviderProvider provider;
            provider.processBuffer(ramp(240, 0)); // classified after the configuration: it has run by now
        }
        std::fflush(stdout);
        ::dup2(savedStdout, STDOUT_FILENO);
        ::close(savedStdout);
        ::close(capture);
        QFile printed(capturePath);
        QVERIFY(printed.open(QIODevice::ReadOnly));
        // The test framework writes to the standard output too: look at the detector's lines only.
        const QStringList lines = QString::fromUtf8(printed.readAll())
                                      .split(QLatin1Char('\n'))
                                      .filter(QRegularExpression(QStringLiteral("^webrtcvad: ")));
        QCOMPARE(lines, (QStringList{QStringLiteral("webrtcvad: set mode 3, success: true"),
                                     QStringLiteral("webrtcvad: set sample rate 8000, success: true")}));
    }

    void elevenVoiceFramesSwitchTheFlagOn()
    {
        RecordingClassifier detector;
        detector.answer = 1;
        WebRtcVadProviderProvider provider(std::make_shared<WebRtcVad>(detector.classifier()));
        provider.processBuffer(ramp(240 * 10, 0));
        QVERIFY(!provider.hasVoice());
        provider.processBuffer(ramp(240, 0));
        QVERIFY(provider.hasVoice());
        QVERIFY(provider.recentResults().empty());
    }

    void aBufferInAnotherFormatIsRefused()
    {
        RecordingClassifier detector;
        WebRtcVadProviderProvider provider(std::make_shared<WebRtcVad>(detector.classifier()));
        provider.processBuffer(ramp(100, 0));
        PcmBuffer wrong(PcmFormat{SampleType::Int16, 16000, 1}, 480);
        wrong.setFrameLength(480);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, provider.processBuffer(wrong));
        QCOMPARE(provider.pendingSampleCount(), 100u);
        QVERIFY(detector.frames.empty());
    }

    void aFrameThatCannotHaveTheDetectorInTimeIsUndecided()
    {
        // Two providers share one detector; the first keeps it busy for 1.5 s with one slow frame. Each frame
        // of the second waits its 100 ms and counts as undecided, so its flag cannot switch meanwhile.
        std::atomic<bool> busy{false};
        auto detector = std::make_shared<WebRtcVad>([&busy](std::span<const std::int16_t>) {
            if (!busy.exchange(true))
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            return 1;
        });
        WebRtcVadProviderProvider slow(detector);
        WebRtcVadProviderProvider waiting(detector);
        std::thread first([&slow] { slow.processBuffer(ramp(240, 0)); });
        QElapsedTimer timer;
        timer.start();
        while (!busy && timer.elapsed() < 5000)
            std::this_thread::yield();
        timer.restart();
        waiting.processBuffer(ramp(240 * 3, 0));
        const qint64 waited = timer.elapsed();
        first.join();
        QVERIFY2(waited < 1200, qPrintable(QString::number(waited))); // did not wait for the slow frame
        QCOMPARE(waiting.recentResults(), (std::deque<int>{-1, -1, -1}));
        QCOMPARE(slow.recentResults(), (std::deque<int>{1}));
        // Once the detector is free again, the next frame is classified.
        waiting.processBuffer(ramp(240, 0));
        QCOMPARE(waiting.recentResults(), (std::deque<int>{-1, -1, -1, 1}));
    }

    // Speech and silence through the real detector: the flag changes exactly where the smoothing rule,
    // applied to the detector's own frame decisions, says.
    void speechAndSilenceSwitchTheFlagWhereTheRuleSays()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.wav"));
        const QString second = dir.filePath(QStringLiteral("second.wav"));
        const QString fixture = dir.filePath(QStringLiteral("fixture.wav"));
        using namespace brelta::testsupport;
        QCOMPARE(makeSpeechFixture(first, QStringLiteral("Good morning, how are you doing today?"), 8000, 1.5, 2.0),
                 QString());
        QCOMPARE(makeSpeechFixture(second, QStringLiteral("Let us talk about the quarterly numbers."), 8000, 0, 2.0),
                 QString());
        QCOMPARE(concatenateFixtures({first, second}, fixture), QString());
        const auto samples = decodeToMonoInt16(fixture, 8000);
        QVERIFY(samples);

        // What the rule says, frame by frame, from a detector configured like the provider's.
        auto reference = Fvad::create();
        QVERIFY(reference->setMode(3));
        QVERIFY(reference->setSampleRate(8000));
        VoiceFlagSmoother expectedFlag;
        std::vector<bool> flagAfterFrame;
        for (std::size_t at = 0; at + 240 <= samples->size(); at += 240)
            flagAfterFrame.push_back(expectedFlag.add(int(reference->process(std::span(*samples).subspan(at, 240)))));

        WebRtcVadProviderProvider provider;
        constexpr std::size_t chunk = 1000; // not a multiple of the frame length
        QList<double> switchesSeen;
        QList<double> switchesExpected;
        bool before = false;
        for (std::size_t at = 0; at < samples->size(); at += chunk) {
            const auto piece = std::span(*samples).subspan(at, std::min(chunk, samples->size() - at));
            provider.processBuffer(fromSamples(piece));
            const std::size_t framesDone = (at + piece.size()) / 240;
            const bool expected = framesDone > 0 && flagAfterFrame[framesDone - 1];
            QCOMPARE(provider.hasVoice(), expected);
            if (provider.hasVoice() != before)
                switchesSeen << double(at + piece.size()) / 8000;
            before = provider.hasVoice();
        }
        for (std::size_t k = 1; k < flagAfterFrame.size(); ++k) {
            if (flagAfterFrame[k] != flagAfterFrame[k - 1])
                switchesExpected << double(k) * 0.03;
        }
        // The fixture exercises the rule: on in each spoken part (not in the leading 1.5 s of silence), off
        // in the silences after them.
        QVERIFY2(switchesSeen.size() >= 4, qPrintable(QString::number(switchesSeen.size())));
        QVERIFY2(switchesSeen.first() > 1.5, qPrintable(QString::number(switchesSeen.first())));
        QVERIFY(!provider.hasVoice());
        QCOMPARE(switchesSeen.size(), switchesExpected.size());
    }
};

QTEST_GUILESS_MAIN(TestVadProvider)
#include "tst_vadprovider.moc"
