#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioFileInfo.h"

#include "testsupport/AudioFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <numbers>

using namespace brelta::platform;
using namespace brelta::testsupport;

namespace {

// `seconds` of a 440 Hz tone at amplitude 0.5 in `format`, cut into buffers of 300 ms.
std::vector<PcmBuffer> tone(const PcmFormat &format, double seconds)
{
    std::vector<PcmBuffer> buffers;
    const auto total = std::uint32_t(seconds * format.sampleRate);
    const std::uint32_t block = format.framesFor(300);
    for (std::uint32_t at = 0; at < total; at += block) {
        PcmBuffer buffer(format, std::min(block, total - at));
        buffer.setFrameLength(buffer.frameCapacity());
        for (std::uint32_t i = 0; i < buffer.frameLength(); ++i) {
            const double value = 0.5 * std::sin(2 * std::numbers::pi * 440 * double(at + i) / format.sampleRate);
            for (int channel = 0; channel < format.channels; ++channel) {
                if (format.sampleType == SampleType::Float32)
                    buffer.floatChannel(channel)[i] = float(value);
                else
                    buffer.int16Channel(channel)[i] = std::int16_t(std::lround(value * 32767));
            }
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// While it lives, no file of this process may grow beyond `bytes`: a full disk without root. A write past the
// limit fails with EFBIG ("File too large"); SIGXFSZ, which would otherwise kill the process, is ignored.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_signal);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }

private:
    rlimit m_previous{};
    void (*m_signal)(int) = SIG_DFL;
    bool m_set = false;
};

} // namespace

class TestAacFileWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesAacInMpeg4_data()
    {
        QTest::addColumn<int>("sampleType");
        QTest::addColumn<int>("inputRate");
        QTest::addColumn<int>("inputChannels");
        QTest::addColumn<int>("outputRate");
        QTest::addColumn<int>("bitRate");
        QTest::newRow("microphone: int16 44.1 kHz mono at 32 kbit/s")
            << int(SampleType::Int16) << 44100 << 1 << 44100 << 32000;
        QTest::newRow("float 48 kHz stereo to 16 kHz mono") << int(SampleType::Float32) << 48000 << 2 << 16000 << 32000;
    }

    void writesAacInMpeg4()
    {
        QFETCH(int, sampleType);
        QFETCH(int, inputRate);
        QFETCH(int, inputChannels);
        QFETCH(int, outputRate);
        QFETCH(int, bitRate);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("practice_tone.m4a"));
        const PcmFormat format{SampleType(sampleType), inputRate, inputChannels};
        auto writer = AacFileWriter::create(path, format, AacEncoding{outputRate, 1, bitRate});
        for (const PcmBuffer &buffer : tone(format, 5.0))
            writer->write(buffer);
        QCOMPARE(writer->writtenSeconds(), 5.0);
        writer->finish();
        QVERIFY(writer->isFinished());

        const auto probed = probeAudio(path);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QVERIFY2(probed->container.contains(QLatin1String("mp4")), qPrintable(probed->container));
        QCOMPARE(probed->majorBrand, QStringLiteral("M4A "));
        QCOMPARE(probed->sampleRate, outputRate);
        QCOMPARE(probed->channels, 1);
        QVERIFY2(std::abs(probed->bitRate - bitRate) < bitRate / 4, qPrintable(QString::number(probed->bitRate)));
        QVERIFY2(std::abs(probed->duration - 5.0) < 0.05, qPrintable(QString::number(probed->duration)));
        QVERIFY2(std::abs(audioFileDuration(path) - 5.0) < 0.05, qPrintable(QString::number(audioFileDuration(path))));

        const auto decoded = decodeToMonoFloat(path, outputRate);
        QVERIFY(decoded);
        // A sine of amplitude 0.5 has an RMS of 0.354; two equal channels mix down to their average.
        const double level = rms(std::span(*decoded).subspan(std::size_t(outputRate), std::size_t(3 * outputRate)));
        QVERIFY2(std::abs(level - 0.354) < 0.04, qPrintable(QString::number(level)));
        // Only the recording remains: the rewrite's temporary file is gone.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("practice_tone.m4a")});
    }

    void fileCutOffWhileWritingStillPlays()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.m4a"));
        const QString snapshot = dir.filePath(QStringLiteral("snapshot.m4a"));
        const PcmFormat format{SampleType::Int16, 44100, 1};
        auto writer = AacFileWriter::create(path, format);
        for (const PcmBuffer &buffer : tone(format, 3.3))
            writer->write(buffer);
        // What the disk holds at this moment is what a crash would leave.
        QVERIFY(QFile::copy(path, snapshot));
        const double duration = audioFileDuration(snapshot);
        QVERIFY2(duration >= 2.0 && duration <= 3.4, qPrintable(QString::number(duration)));
        const auto decoded = decodeToMonoFloat(snapshot, 44100);
        QVERIFY(decoded);
        QVERIFY(decoded->size() >= std::size_t(2 * 44100));
        QVERIFY(rms(std::span(*decoded).subspan(44100, 44100)) > 0.25);
    }

    void writerDroppedWithoutFinishLeavesAPlayableFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dropped.m4a"));
        const PcmFormat format{SampleType::Int16, 44100, 1};
        {
            auto writer = AacFileWriter::create(path, format);
            for (const PcmBuffer &buffer : tone(format, 2.0))
                writer->write(buffer);
        }
        QVERIFY2(std::abs(audioFileDuration(path) - 2.0) < 0.05, qPrintable(QString::number(audioFileDuration(path))));
    }

    // The disk fills up just as the recording is completed, and the owner drops the writer right after the
    // failed finish(), as a recorder does.
    void aFinishThatFailsOnAFullDiskEndsTheFileOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("full.m4a"));
        const PcmFormat format{SampleType::Int16, 44100, 1};
        const std::vector<PcmBuffer> blocks = tone(format, 6.0);
        QCOMPARE(blocks.size(), std::size_t(20));
        {
            auto writer = AacFileWriter::create(path, format);
            for (const PcmBuffer &block : blocks)
                writer->write(block);
            const FileSizeLimit full(rlim_t(QFileInfo(path).size()));
            QVERIFY(full.isSet());
            for (int attempt = 1; attempt <= 2; ++attempt) {
                try {
                    writer->finish();
                    QFAIL("finish() succeeded on a full disk");
                } catch (const AudioFileError &error) {
                    QVERIFY2(QString::fromUtf8(error.what()).contains(path), error.what());
                    QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("File too large")), error.what());
                }
                QVERIFY(!writer->isFinished());
            }
        } // dropped while the disk is still full
        // What reached the disk before it filled up still plays: every whole fragment, all but the last second.
        const double kept = audioFileDuration(path);
        QVERIFY2(kept >= 6.0 - 1.5 && kept <= 6.0, qPrintable(QString::number(kept)));
        const auto decoded = decodeToMonoFloat(path, 44100);
        QVERIFY(decoded);
        QVERIFY2(decoded->size() >= std::size_t(4 * 44100), qPrintable(QString::number(decoded->size())));
        QVERIFY(rms(std::span(*decoded).subspan(44100, 2 * 44100)) > 0.25);
    }

    void recordingWithoutAudioFinishes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.m4a"));
        auto writer = AacFileWriter::create(path, PcmFormat{SampleType::Int16, 44100, 1});
        writer->finish();
        QVERIFY(writer->isFinished());
        QCOMPARE(audioFileDuration(path), 0.0);
    }

    void uncreatableFileIsAClearErrorAndLeavesNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing-folder/recording.m4a"));
        try {
            AacFileWriter::create(path, PcmFormat{SampleType::Int16, 44100, 1});
            QFAIL("created a file in a missing folder");
        } catch (const AudioFileError &error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(path), error.what());
            QVERIFY2(QString::fromUtf8(error.what()).contains(QLatin1String("No such file")), error.what());
        }
        QVERIFY(!QFile::exists(path));
    }

    void discardRemovesTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("discarded.m4a"));
        const PcmFormat format{SampleType::Int16, 44100, 1};
        auto writer = AacFileWriter::create(path, format);
        writer->write(tone(format, 0.3).front());
        writer->discard();
        QVERIFY(!QFile::exists(path));
        QVERIFY_THROWS_EXCEPTION(AudioFileError, writer->write(tone(format, 0.3).front()));
    }

    void unreadableFileIsAClearError()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("not-audio.m4a"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is not an MPEG-4 file");
        file.close();
        QVERIFY_THROWS_EXCEPTION(AudioFileError, audioFileDuration(path));
    }
};

QTEST_GUILESS_MAIN(TestAacFileWriter)
#include "tst_aacfilewriter.moc"
