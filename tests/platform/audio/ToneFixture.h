#pragma once

// Audio files made by the ffmpeg command line, so a test reads fixtures that our own code did not write.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace brelta::testsupport {

// Writes `seconds` of a 440 Hz sine at amplitude 0.5 on every channel, at `sampleRate` Hz, to `path`,
// encoded with `codecArguments` (e.g. {"-c:a", "aac", "-b:a", "128k"}); the container follows the
// extension. Returns an error text, empty on success.
inline QString makeToneFile(const QString &path, double seconds, int sampleRate, int channels,
                            const QStringList &codecArguments)
{
    QStringList perChannel;
    for (int channel = 0; channel < channels; ++channel)
        perChannel << QStringLiteral("0.5*sin(2*PI*440*t)");
    const QString source =
        QStringLiteral("aevalsrc=%1:s=%2:d=%3").arg(perChannel.join(QLatin1Char('|'))).arg(sampleRate).arg(seconds);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                             QStringLiteral("lavfi"), QStringLiteral("-i"), source}
                     + codecArguments + QStringList{path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return QStringLiteral("ffmpeg could not write %1: %2")
            .arg(path, QString::fromLocal8Bit(ffmpeg.readAllStandardError()));
    return {};
}

} // namespace brelta::testsupport
