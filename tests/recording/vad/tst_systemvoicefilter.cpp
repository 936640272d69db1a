#include "recording/vad/SystemVoiceFilter.h"

#include <QTest>

#include <stdexcept>

using brelta::platform::PcmBuffer;
using brelta::platform::PcmFormat;
using brelta::platform::SampleType;
using brelta::recording::SystemVoiceFilter;

namespace {

const PcmFormat kOutputFormat{SampleType::Float32, 16000, 1};

// Block number n (from 1) holds 100 × n frames, every sample equal to n, so each written block tells where it
// came from and whether it was silenced.
PcmBuffer numberedBlock(int n)
{
    const auto frames = std::uint32_t(100 * n);
    PcmBuffer block(kOutputFormat, frames);
    block.setFrameLength(frames);
    for (float &sample : block.floatChannel(0))
        sample = float(n);
    return block;
}

// "5" for a block written as it came, "0:500" for 500 frames of silence, "?" for anything else.
QString describe(const PcmBuffer &written)
{
    const auto samples = written.floatChannel(0).first(written.frameLength());
    if (samples.empty())
        return QStringLiteral("empty");
    const float first = samples.front();
    for (float sample : samples) {
        if (sample != first)
            return QStringLiteral("?");
    }
    if (first == 0.0f)
        return QStringLiteral("0:%1").arg(written.frameLength());
    if (written.frameLength() != std::uint32_t(100 * first))
        return QStringLiteral("?");
    return QString::number(int(first));
}

} // namespace

class SystemVoiceFilterTest : public QObject
{
    Q_OBJECT

private slots:
    void writesOneBlockLateAndSilencesVoice_data()
    {
        // `voice`: one character per block, "V" when the system audio carries a voice at that block.
        // `written`: what reaches the file, the flush at the end included.
        QTest::addColumn<QString>("voice");
        QTest::addColumn<QString>("written");
        QTest::newRow("no voice ever: every block, one late, the last at the end") << "---"
                                                                                   << "1 2 3";
        QTest::newRow("voice after the first block silences the held block too") << "-V"
                                                                                 << "0:100 0:200";
        QTest::newRow("voice at the very first block: only that block, silenced") << "V"
                                                                                  << "0:100";
        QTest::newRow("first quiet block after voice is held, written at the end") << "V-"
                                                                                   << "0:100 2";
        QTest::newRow("voice in the middle") << "--VV--"
                                             << "1 0:200 0:300 0:400 5 6";
        QTest::newRow("voice ends the recording: nothing left to flush") << "-VV"
                                                                         << "0:100 0:200 0:300";
    }

    void writesOneBlockLateAndSilencesVoice()
    {
        QFETCH(QString, voice);
        QFETCH(QString, written);

        SystemVoiceFilter filter;
        QStringList seen;
        const auto write = [&seen](const PcmBuffer &block) { seen << describe(block); };
        for (int i = 0; i < voice.size(); ++i)
            filter.process(numberedBlock(i + 1), voice.at(i) == QLatin1Char('V'), write);
        filter.flush(write);

        QCOMPARE(seen.join(QLatin1Char(' ')), written);
        QVERIFY(!filter.isHolding());
    }

    void keepsTheHeldBlockWhenItsWriteFails_data()
    {
        QTest::addColumn<bool>("voiceAtSecondBlock");
        QTest::newRow("held block written as it is") << false;
        QTest::newRow("held block written as silence") << true;
    }

    void keepsTheHeldBlockWhenItsWriteFails()
    {
        QFETCH(bool, voiceAtSecondBlock);

        SystemVoiceFilter filter;
        QStringList seen;
        const auto failing = [](const PcmBuffer &) { throw std::runtime_error("disk full"); };
        const auto write = [&seen](const PcmBuffer &block) { seen << describe(block); };

        filter.process(numberedBlock(1), false, write);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, filter.process(numberedBlock(2), voiceAtSecondBlock, failing));
        QVERIFY(filter.isHolding());
        QCOMPARE(filter.heldFrames(), 100u);

        // The next block finds block 1 still held; block 2 never got in.
        filter.process(numberedBlock(3), false, write);
        filter.flush(write);
        QCOMPARE(seen.join(QLatin1Char(' ')), QStringLiteral("1 3"));
    }

    void keepsTheLastBlockWhenTheFinalWriteFails()
    {
        SystemVoiceFilter filter;
        filter.process(numberedBlock(1), false, [](const PcmBuffer &) {});
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 filter.flush([](const PcmBuffer &) { throw std::runtime_error("disk full"); }));
        QVERIFY(filter.isHolding());

        QStringList seen;
        filter.flush([&seen](const PcmBuffer &block) { seen << describe(block); });
        QCOMPARE(seen, QStringList{QStringLiteral("1")});
    }
};

QTEST_GUILESS_MAIN(SystemVoiceFilterTest)
#include "tst_systemvoicefilter.moc"
