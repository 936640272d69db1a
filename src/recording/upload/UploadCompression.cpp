#include "recording/upload/UploadCompression.h"

#include "platform/audio/AudioFileInfo.h"
#include "platform/audio/Transcode.h"
#include "recording/upload/UploadReports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace brelta::recording {
namespace {

// The estimate of a file this step made sits a little above the encoder's target: FFmpeg's AAC encoder
// holds its rate only on average, and the container adds its index.
constexpr double kCompressedEstimateCeiling = kCompressedBitRate * 1.15;
constexpr double kLengthTolerance = 0.5; // seconds

struct Estimate
{
    std::optional<platform::AudioFileInfo> info;
    std::optional<double> bitRate;
    QString error;
};

Estimate estimate(const QString &path)
{
    Estimate result;
    try {
        result.info = platform::readAudioFileInfo(path);
    } catch (const std::exception &error) {
        result.error = QString::fromUtf8(error.what());
        return result;
    }
    const QFileInfo file(path);
    const double bits = file.exists() ? double(file.size()) * 8 : 0;
    result.bitRate = bits / result.info->durationSeconds; // no audio: infinite or not a number
    return result;
}

CompressionResult unchanged(const QString &why)
{
    return {CompressionResult::Outcome::Unchanged, why};
}

CompressionResult failed(const QString &temporary, const QString &why)
{
    QFile::remove(temporary);
    return {CompressionResult::Outcome::Failed, why};
}

} // namespace

std::optional<double> estimateBitrate(const QString &path)
{
    return estimate(path).bitRate;
}

CompressionResult compressForUpload(const QString &path)
{
    const QFileInfo file(path);
    if (file.suffix() == QLatin1String("opus"))
        return unchanged(QStringLiteral("an Opus file is sent as it is"));

    const Estimate before = estimate(path);
    if (!before.bitRate)
        qCWarning(lcAudioUpload).noquote() << "estimateBitrate error:" << before.error;
    if (before.bitRate && *before.bitRate < kCompressionThreshold) {
        qCInfo(lcAudioUpload, "audio is recorded with acceptable bitrate: %f, no need to compress", *before.bitRate);
        return unchanged(QStringLiteral("bit rate below %1").arg(kCompressionThreshold));
    }
    if (before.info && before.info->codec == QLatin1String("aac") && before.info->channels == 1
        && *before.bitRate <= kCompressedEstimateCeiling)
        return unchanged(QStringLiteral("already AAC, mono, at about %1 bit/s").arg(kCompressedBitRate));
    // The conversion writes MPEG-4 under the recording's own name; under another extension the name would lie.
    if (file.suffix().compare(QLatin1String("m4a"), Qt::CaseInsensitive) != 0)
        return unchanged(QStringLiteral("not an .m4a file"));

    const QString temporary = file.dir().filePath(
        QStringLiteral("convert_%1.m4a").arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()));
    const int sampleRate = before.info && before.info->sampleRate > 0 ? before.info->sampleRate : 44100;
    try {
        platform::transcodeToAac(path, temporary, platform::AacEncoding{sampleRate, 1, kCompressedBitRate});
    } catch (const std::exception &error) {
        return failed(temporary, QString::fromUtf8(error.what()));
    }

    // A conversion that lost audio must not replace the recording.
    double convertedLength = 0;
    try {
        convertedLength = platform::audioFileDuration(temporary);
    } catch (const std::exception &error) {
        return failed(temporary,
                      QStringLiteral("the converted file does not read back: ") + QString::fromUtf8(error.what()));
    }
    const double originalLength = before.info ? before.info->durationSeconds : 0;
    if (!std::isfinite(convertedLength) || std::abs(convertedLength - originalLength) > kLengthTolerance)
        return failed(temporary, QStringLiteral("the converted file lasts %1 s, the recording %2 s")
                                     .arg(convertedLength)
                                     .arg(originalLength));

    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(temporary, QStringLiteral("cannot replace the recording with its conversion: %1")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return {CompressionResult::Outcome::Converted,
            QStringLiteral("converted from %1 bit/s").arg(before.bitRate.value_or(std::nan("")))};
}

} // namespace brelta::recording
