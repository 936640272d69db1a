#pragma once

#include "recording/recorders/RecordingPurpose.h"

#include <QString>

namespace brelta::recording {

// Whether a finished recording file is worth sending. The recording session checks every stopped
// recording with it, and the upload queue's launch recovery checks files left behind by a crash.
struct RecordingCheck
{
    enum class Outcome {
        Accepted,   // send it; `seconds` is its length truncated to whole seconds
        TooShort,   // a practice recording under the minimum; `length` says how long it was
        Unreadable, // no decodable audio or no sensible length: keep the file, report it
        Missing,    // no regular file at the path
    };

    Outcome outcome = Outcome::Missing;
    double length = 0;
    qint64 seconds = 0;
    QString error; // what went wrong, for logs and error reports; empty when accepted
};

// Practice recordings need at least this many seconds; onboarding recordings have no minimum.
inline constexpr double kMinimumPracticeSeconds = 2.0;

// Reads the file's length (platform::audioFileDuration) and applies the minimum. Never throws; a length
// that is not finite, negative, or beyond whole seconds counts as unreadable.
RecordingCheck checkFinishedRecording(const QString &path, RecordingPurpose purpose);

// The length as the shortest decimal that reads back to the same double ("1.5", "1.9").
QString shortestDecimal(double value);

} // namespace brelta::recording
