#include "platform/audio/PcmConverter.h"

#include <QTest>

#include <cmath>
#include <numbers>
#include <stdexcept>

using namespace brelta::platform;

class TestPcmConverter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A stream cut into buffers of any length converts as one piece: the frame count follows the rate ratio
    // and a 440 Hz tone keeps its level.
    void convertsAStreamInPieces_data()
    {
        QTest::addColumn<int>("fromType");
        QTest::addColumn<int>("fromRate");
        QTest::addColumn<int>("fromChannels");
        QTest::addColumn<int>("toRate");
        QTest::addColumn<uint>("piece");
        QTest::newRow("system audio: float 48 kHz stereo to 8 kHz int16 mono, 1024-frame pieces")
            << int(SampleType::Float32) << 48000 << 2 << 8000 << 1024u;
        QTest::newRow("microphone: int16 44.1 kHz mono to 16 kHz, 300 ms pieces")
            << int(SampleType::Int16) << 44100 << 1 << 16000 << 13230u;
    }

    void convertsAStreamInPieces()
    {
        QFETCH(int, fromType);
        QFETCH(int, fromRate);
        QFETCH(int, fromChannels);
        QFETCH(int, toRate);
        QFETCH(uint, piece);
        const PcmFormat from{SampleType(fromType), fromRate, fromChannels};
        const PcmFormat to{SampleType::Int16, toRate, 1};
        PcmConverter converter(from, to);

        std::vector<double> output;
        const auto take = [&output](const PcmBuffer &buffer) {
            for (std::uint32_t i = 0; i < buffer.frameLength(); ++i)
                output.push_back(buffer.int16Channel(0)[i] / 32768.0);
        };
        const auto total = std::uint32_t(2 * fromRate); // two seconds
        for (std::uint32_t at = 0; at < total; at += piece) {
            PcmBuffer buffer(from, std::min(piece, total - at));
            buffer.setFrameLength(buffer.frameCapacity());
            for (std::uint32_t i = 0; i < buffer.frameLength(); ++i) {
                const double value = 0.5 * std::sin(2 * std::numbers::pi * 440 * double(at + i) / fromRate);
                for (int channel = 0; channel < fromChannels; ++channel) {
                    if (from.sampleType == SampleType::Float32)
                        buffer.floatChannel(channel)[i] = float(value);
                    else
                        buffer.int16Channel(channel)[i] = std::int16_t(std::lround(value * 32767));
                }
            }
            const PcmBuffer converted = converter.convert(buffer);
            QCOMPARE(converted.format(), to);
            take(converted);
        }
        take(converter.flush());
        QVERIFY2(std::abs(int(output.size()) - 2 * toRate) <= 2, qPrintable(QString::number(output.size())));

        double sum = 0;
        for (std::size_t i = std::size_t(toRate / 2); i < std::size_t(3 * toRate / 2); ++i)
            sum += output[i] * output[i];
        const double level = std::sqrt(sum / toRate);
        // A sine of amplitude 0.5 has an RMS of 0.354; two equal channels mix down to their average.
        QVERIFY2(std::abs(level - 0.354) < 0.02, qPrintable(QString::number(level)));
    }

    void aBufferInAnotherFormatIsRefused()
    {
        PcmConverter converter(PcmFormat{SampleType::Float32, 48000, 1}, PcmFormat{SampleType::Int16, 8000, 1});
        PcmBuffer wrong(PcmFormat{SampleType::Float32, 44100, 1}, 10);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, converter.convert(wrong));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 PcmConverter(PcmFormat{}, PcmFormat{SampleType::Int16, 8000, 1}));
    }
};

QTEST_GUILESS_MAIN(TestPcmConverter)
#include "tst_pcmconverter.moc"
