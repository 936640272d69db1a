#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioFileReader.h"

#include "platform/audio/ToneFixture.h"
#include "testsupport/AudioFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <numbers>

using namespace brelta::platform;
using namespace brelta::testsupport;

namespace {

struct Decoded
{
    PcmFormat format;
    std::vector<float> firstChannel;
    std::uint64_t frames = 0;
    int blocks = 0;
    bool everyBlockInFormat = true;
};

Decoded decodeAll(AudioFileReader &reader)
{
    Decoded decoded;
    decoded.format = reader.format();
    while (const std::optional<PcmBuffer> block = reader.read()) {
        ++decoded.blocks;
        decoded.frames += block->frameLength();
        decoded.everyBlockInFormat =
            decoded.everyBlockInFormat && block->format() == reader.format() && !block->isEmpty();
        const std::span<const float> samples = block->floatChannel(0).first(block->frameLength());
        decoded.firstChannel.insert(decoded.firstChannel.end(), samples.begin(), samples.end());
    }
    return decoded;
}

} // namespace

class TestAudioFileReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesTheFormatsRecordingsArriveIn_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("decodedRate");
        QTest::newRow("AAC stereo 48 kHz in MPEG-4")
            << "tone.m4a" << 48000 << 2 << QStringList{"-c:a", "aac", "-b:a", "128k"} << 48000;
        QTest::newRow("Opus mono in WebM, as the web view records")
            << "tone.webm" << 48000 << 1 << QStringList{"-c:a", "libopus", "-b:a", "48k"} << 48000;
        QTest::newRow("16-bit PCM mono 16 kHz in WAV")
            << "tone.wav" << 16000 << 1 << QStringList{"-c:a", "pcm_s16le"} << 16000;
        QTest::newRow("MP3 stereo 44.1 kHz")
            << "tone.mp3" << 44100 << 2 << QStringList{"-c:a", "libmp3lame", "-b:a", "128k"} << 44100;
    }

    void decodesTheFormatsRecordingsArriveIn()
    {
        QFETCH(QString, fileName);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QFETCH(QStringList, codec);
        QFETCH(int, decodedRate);
        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        const QString made = makeToneFile(path, 5.0, sampleRate, channels, codec);
        QVERIFY2(made.isEmpty(), qPrintable(made));

        const auto reader = AudioFileReader::open(path);
        QCOMPARE(reader->format(), (PcmFormat{SampleType::Float32, decodedRate, channels}));
        const Decoded decoded = decodeAll(*reader);
        QVERIFY(decoded.everyBlockInFormat);
        QVERIFY(decoded.blocks > 1);
        QCOMPARE(reader->framesRead(), decoded.frames);
        // Priming and padding are trimmed: the frames add up to the five seconds that were encoded.
        const double seconds = double(decoded.frames) / decodedRate;
        QVERIFY2(std::abs(seconds - 5.0) < 0.03, qPrintable(QString::number(seconds)));
        // A sine of amplitude 0.5 has an RMS of 0.354.
        const double level =
            rms(std::span(decoded.firstChannel).subspan(std::size_t(decodedRate), std::size_t(3 * decodedRate)));
        QVERIFY2(std::abs(level - 0.354) < 0.03, qPrintable(QString::number(level)));
        // At the end the reader stays at the end.
        QVERIFY(!reader->read());
    }

    void recordingCutOffByACrashDecodesUpToItsLastFragment()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.m4a"));
        const QString snapshot = dir.filePath(QStringLiteral("snapshot.m4a"));
        const PcmFormat format{SampleType::Int16, 44100, 1};
        auto writer = AacFileWriter::create(path, format);
        PcmBuffer block(format, format.framesFor(100));
        block.setFrameLength(block.frameCapacity());
        for (int i = 0; i < 33; ++i) {
            for (std::uint32_t frame = 0; frame < block.frameLength(); ++frame)
                block.int16Channel(0)[frame] = std::int16_t(
                    16000 * std::sin(2 * std::numbers::pi * 440 * double(i * block.frameLength() + frame) / 44100));
            writer->write(block);
        }
        // What the disk holds now is what a crash would leave: fragments, no end.
        QVERIFY(QFile::copy(path, snapshot));
        // Cut the last bytes off too, as a write interrupted halfway would.
        QFile cut(snapshot);
        QVERIFY(cut.resize(cut.size() - 100));

        const auto reader = AudioFileReader::open(snapshot);
        const Decoded decoded = decodeAll(*reader);
        const double seconds = double(decoded.frames) / 44100;
        QVERIFY2(seconds >= 1.9 && seconds <= 3.4, qPrintable(QString::number(seconds)));
        QVERIFY(rms(std::span(decoded.firstChannel).subspan(44100, 22050)) > 0.25);
    }

    void unreadableFilesAreClearErrors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no file") << QByteArray() << "No such file";
        QTest::newRow("empty file") << QByteArray("") << "cannot";
        QTest::newRow("text named .m4a") << QByteArray("this is not an MPEG-4 file, only text") << "cannot";
    }

    void unreadableFilesAreClearErrors()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("recording.m4a"));
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        try {
            AudioFileReader::open(path);
            QFAIL("opened a file that holds no audio");
        } catch (const AudioFileError &error) {
            const QString text = QString::fromUtf8(error.what());
            QVERIFY2(text.startsWith(path + QLatin1Char(':')), error.what());
            QVERIFY2(text.contains(reason, Qt::CaseInsensitive), error.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestAudioFileReader)
#include "tst_audiofilereader.moc"
