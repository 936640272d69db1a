#include "recording/upload/RecordingCheck.h"

#include "platform/audio/AudioFileInfo.h"

#include <QFileInfo>
#include <QUrl>

#include <charconv>
#include <cmath>
#include <limits>

namespace brelta::recording {

QString shortestDecimal(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

RecordingCheck checkFinishedRecording(const QString &path, RecordingPurpose purpose)
{
    RecordingCheck check;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        check.outcome = RecordingCheck::Outcome::Missing;
        check.error = QStringLiteral("file not found: ") + path;
        return check;
    }

    const QString unreadable = QStringLiteral("could not retrieve duration, file: ")
                               + QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    double length = 0;
    try {
        length = platform::audioFileDuration(path);
    } catch (const std::exception &) {
        check.outcome = RecordingCheck::Outcome::Unreadable;
        check.error = unreadable;
        return check;
    }
    if (!std::isfinite(length) || length < 0 || length >= double(std::numeric_limits<qint64>::max())) {
        check.outcome = RecordingCheck::Outcome::Unreadable;
        check.error = unreadable;
        return check;
    }

    check.length = length;
    if (purpose == RecordingPurpose::Practice && length < kMinimumPracticeSeconds) {
        check.outcome = RecordingCheck::Outcome::TooShort;
        check.error = QStringLiteral("recording too short, duration: ") + shortestDecimal(length);
        return check;
    }
    check.outcome = RecordingCheck::Outcome::Accepted;
    check.seconds = qint64(std::trunc(length));
    return check;
}

} // namespace brelta::recording
