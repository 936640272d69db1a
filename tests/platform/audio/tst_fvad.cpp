#include "platform/audio/Fvad.h"

#include "testsupport/AudioFixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace brelta::platform;
using brelta::testsupport::decodeToMonoInt16;
using brelta::testsupport::makeSilenceFixture;
using brelta::testsupport::makeSpeechFixture;

namespace {

// Share of 30 ms frames at 8000 Hz classified as voice.
double voiceShare(Fvad &vad, const std::vector<std::int16_t> &samples)
{
    int voice = 0;
    int frames = 0;
    for (std::size_t at = 0; at + 240 <= samples.size(); at += 240, ++frames)
        voice += vad.process(std::span(samples).subspan(at, 240)) == Fvad::Result::Voice ? 1 : 0;
    return frames ? double(voice) / frames : 0;
}

} // namespace

class TestFvad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void libraryPassesItsStartUpCheck() { QCOMPARE(Fvad::selfCheck(), QString()); }

    void settingsOutsideTheLibrarysRangeAreRefused_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<bool>("modeAccepted");
        QTest::addColumn<bool>("rateAccepted");
        QTest::newRow("mode 3 at 8000 Hz") << 3 << 8000 << true << true;
        QTest::newRow("mode 0 at 48000 Hz") << 0 << 48000 << true << true;
        QTest::newRow("mode 4") << 4 << 16000 << false << true;
        QTest::newRow("mode -1 at 44100 Hz") << -1 << 44100 << false << false;
    }

    void settingsOutsideTheLibrarysRangeAreRefused()
    {
        QFETCH(int, mode);
        QFETCH(int, sampleRate);
        QFETCH(bool, modeAccepted);
        QFETCH(bool, rateAccepted);
        auto vad = Fvad::create();
        QCOMPARE(vad->setMode(mode), modeAccepted);
        QCOMPARE(vad->setSampleRate(sampleRate), rateAccepted);
        QCOMPARE(vad->sampleRate(), rateAccepted ? sampleRate : 8000);
    }

    void framesOfInvalidLengthAreErrors()
    {
        auto vad = Fvad::create();
        QVERIFY(vad->setSampleRate(8000));
        const std::vector<std::int16_t> samples(480, 0);
        QCOMPARE(vad->process(std::span(samples).first(239)), Fvad::Result::Error);
        QCOMPARE(vad->process(std::span(samples).first(0)), Fvad::Result::Error);
        QCOMPARE(vad->process(std::span(samples).first(240)), Fvad::Result::NoVoice); // 30 ms
        QCOMPARE(vad->process(std::span(samples).first(160)), Fvad::Result::NoVoice); // 20 ms
    }

    void speechIsVoiceAndSilenceIsNot()
    {
        QTemporaryDir dir;
        const QString speech = dir.filePath(QStringLiteral("speech.wav"));
        const QString silence = dir.filePath(QStringLiteral("silence.wav"));
        QCOMPARE(makeSpeechFixture(speech, QStringLiteral("Hello, this is a test of the voice detector."), 8000),
                 QString());
        QCOMPARE(makeSilenceFixture(silence, 1.0, 8000), QString());
        auto vad = Fvad::create();
        QVERIFY(vad->setMode(3));
        QVERIFY(vad->setSampleRate(8000));
        const auto quiet = decodeToMonoInt16(silence, 8000);
        const auto spoken = decodeToMonoInt16(speech, 8000);
        QVERIFY(quiet && spoken);
        QCOMPARE(voiceShare(*vad, *quiet), 0.0);
        QVERIFY2(voiceShare(*vad, *spoken) > 0.6, qPrintable(QString::number(voiceShare(*vad, *spoken))));
    }
};

QTEST_GUILESS_MAIN(TestFvad)
#include "tst_fvad.moc"
