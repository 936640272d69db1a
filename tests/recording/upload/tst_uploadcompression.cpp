#include "recording/upload/UploadCompression.h"

#include "platform/audio/AudioFileInfo.h"
#include "platform/audio/ToneFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta;
using namespace brelta::testsupport;
using recording::CompressionResult;
using Outcome = recording::CompressionResult::Outcome;

Q_DECLARE_METATYPE(brelta::recording::CompressionResult::Outcome)

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class UploadCompressionTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A 10 s recording; `codec` empty writes a file that is not audio.
    QString recording(const QString &name, const QStringList &codec, int channels = 1)
    {
        const QString path = dir.filePath(name);
        if (codec.isEmpty()) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(4096, 'x')) < 0)
                qFatal("cannot write %s", qPrintable(path));
        } else if (const QString made = makeToneFile(path, 10.0, 44100, channels, codec); !made.isEmpty()) {
            qFatal("%s", qPrintable(made));
        }
        return path;
    }

private slots:
    void init() { QVERIFY(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.path())); }

    void convertsOnlyWhenItPays_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("Opus is sent as it is, however high its rate")
            << "practice_1.opus" << QStringList{"-c:a", "libopus", "-b:a", "128k"} << 2 << Outcome::Unchanged;
        QTest::newRow("32 kbit/s mono AAC is sent as it is")
            << "practice_2.m4a" << QStringList{"-c:a", "aac", "-b:a", "32k"} << 1 << Outcome::Unchanged;
        QTest::newRow("128 kbit/s stereo AAC is converted")
            << "practice_3.m4a" << QStringList{"-c:a", "aac", "-b:a", "128k"} << 2 << Outcome::Converted;
        QTest::newRow("a file that is not audio keeps the original")
            << "practice_4.m4a" << QStringList() << 1 << Outcome::Failed;
        QTest::newRow("a high rate under another extension is not renamed")
            << "practice_5.wav" << QStringList{"-c:a", "pcm_s16le"} << 1 << Outcome::Unchanged;
    }

    void convertsOnlyWhenItPays()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, codec);
        QFETCH(int, channels);
        QFETCH(Outcome, outcome);
        const QString path = recording(name, codec, channels);
        const QByteArray before = readAll(path);

        const CompressionResult result = recording::compressForUpload(path);
        QVERIFY2(result.outcome == outcome, qPrintable(result.detail));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name}); // no temporary left
        if (outcome != Outcome::Converted) {
            QCOMPARE(readAll(path), before);
            return;
        }
        const platform::AudioFileInfo info = platform::readAudioFileInfo(path);
        QCOMPARE(info.codec, QStringLiteral("aac"));
        QCOMPARE(info.channels, 1);
        QCOMPARE(info.sampleRate, 44100);
        QVERIFY2(std::abs(info.durationSeconds - 10.0) < 0.05, qPrintable(QString::number(info.durationSeconds)));
        const std::optional<double> rate = recording::estimateBitrate(path);
        QVERIFY(rate);
        QVERIFY2(*rate < 70000 && *rate > 48000, qPrintable(QString::number(*rate)));
    }

    void aRecordingConvertedOnceIsNotConvertedAgain()
    {
        const QString path = recording(QStringLiteral("practice_6.m4a"), {"-c:a", "aac", "-b:a", "128k"}, 2);
        QCOMPARE(recording::compressForUpload(path).outcome, Outcome::Converted);
        const QByteArray converted = readAll(path);
        const CompressionResult retry = recording::compressForUpload(path);
        QCOMPARE(retry.outcome, Outcome::Unchanged);
        QCOMPARE(readAll(path), converted);
    }

    void estimatesSizeOverLength()
    {
        const QString path = recording(QStringLiteral("practice_7.m4a"), {"-c:a", "aac", "-b:a", "32k"});
        const std::optional<double> rate = recording::estimateBitrate(path);
        QVERIFY(rate);
        QVERIFY2(std::abs(*rate - 32000) < 32000 * 0.15, qPrintable(QString::number(*rate)));
        QCOMPARE(recording::estimateBitrate(recording(QStringLiteral("practice_8.m4a"), {})), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(UploadCompressionTest)
#include "tst_uploadcompression.moc"
