#include "platform/audio/AudioFileInfo.h"
#include "platform/audio/Transcode.h"

#include "platform/audio/ToneFixture.h"
#include "testsupport/AudioFixtures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta::platform;
using namespace brelta::testsupport;

namespace {

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

} // namespace

class TestTranscode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void convertsToAacInMpeg4_data()
    {
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<int>("sourceRate");
        QTest::addColumn<int>("sourceChannels");
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("bitRate");
        QTest::newRow("128 kbit/s stereo AAC to 64 kbit/s mono at its 48 kHz")
            << "source.m4a" << 48000 << 2 << QStringList{"-c:a", "aac", "-b:a", "128k"} << 64000;
        QTest::newRow("Opus in WebM to 32 kbit/s mono")
            << "source.webm" << 48000 << 1 << QStringList{"-c:a", "libopus"} << 32000;
        QTest::newRow("16 kHz WAV to 32 kbit/s mono")
            << "source.wav" << 16000 << 1 << QStringList{"-c:a", "pcm_s16le"} << 32000;
    }

    void convertsToAacInMpeg4()
    {
        QFETCH(QString, sourceName);
        QFETCH(int, sourceRate);
        QFETCH(int, sourceChannels);
        QFETCH(QStringList, codec);
        QFETCH(int, bitRate);
        QTemporaryDir dir;
        const QString source = dir.filePath(sourceName);
        const QString target = dir.filePath(QStringLiteral("converted.m4a"));
        const QString made = makeToneFile(source, 6.0, sourceRate, sourceChannels, codec);
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const QByteArray sourceDigest = digest(source);

        const double seconds = transcodeToAac(source, target, AacEncoding{sourceRate, 1, bitRate});
        QVERIFY2(std::abs(seconds - 6.0) < 0.03, qPrintable(QString::number(seconds)));

        const auto probed = probeAudio(target);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QCOMPARE(probed->majorBrand, QStringLiteral("M4A "));
        QCOMPARE(probed->channels, 1);
        QCOMPARE(probed->sampleRate, sourceRate);
        QVERIFY2(std::abs(probed->duration - 6.0) < 0.05, qPrintable(QString::number(probed->duration)));
        // FFmpeg's encoder holds the rate only on average, a little above it for a pure tone.
        const double estimate = double(QFileInfo(target).size()) * 8 / audioFileDuration(target);
        QVERIFY2(estimate < bitRate * 1.25 && estimate > bitRate * 0.6, qPrintable(QString::number(estimate)));
        const auto decoded = decodeToMonoFloat(target, sourceRate);
        QVERIFY(decoded);
        const double level = rms(std::span(*decoded).subspan(std::size_t(sourceRate), std::size_t(3 * sourceRate)));
        QVERIFY2(std::abs(level - 0.354) < 0.04, qPrintable(QString::number(level)));
        QCOMPARE(digest(source), sourceDigest);
        // Only the source and the result: no temporary of the rewrite is left behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void aFailureLeavesNoOutputAndTheSourceIntact_data()
    {
        QTest::addColumn<QByteArray>("sourceContent"); // null: a real recording
        QTest::addColumn<QString>("targetName");       // relative to the folder; empty: the source itself
        QTest::addColumn<QString>("blamed");           // which file the error names
        QTest::newRow("source is not audio") << QByteArray("not audio at all") << "converted.m4a"
                                             << "source";
        QTest::newRow("target folder missing") << QByteArray() << "missing/converted.m4a"
                                               << "target";
        QTest::newRow("target is the source") << QByteArray() << QString() << "target";
    }

    void aFailureLeavesNoOutputAndTheSourceIntact()
    {
        QFETCH(QByteArray, sourceContent);
        QFETCH(QString, targetName);
        QFETCH(QString, blamed);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source.m4a"));
        if (sourceContent.isNull()) {
            const QString made = makeToneFile(source, 2.0, 44100, 1, {"-c:a", "aac", "-b:a", "96k"});
            QVERIFY2(made.isEmpty(), qPrintable(made));
        } else {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(sourceContent);
        }
        const QByteArray sourceDigest = digest(source);
        const QString target = targetName.isEmpty() ? source : dir.filePath(targetName);

        try {
            transcodeToAac(source, target, AacEncoding{44100, 1, 64000});
            QFAIL("the conversion did not fail");
        } catch (const AudioFileError &error) {
            QVERIFY2(QString::fromUtf8(error.what())
                         .startsWith((blamed == QLatin1String("source") ? source : target) + QLatin1Char(':')),
                     error.what());
        }
        QCOMPARE(digest(source), sourceDigest);
        if (target != source)
            QVERIFY(!QFile::exists(target));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("source.m4a")});
    }
};

QTEST_GUILESS_MAIN(TestTranscode)
#include "tst_transcode.moc"
