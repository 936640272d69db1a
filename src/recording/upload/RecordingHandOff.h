#pragma once

#include "recording/recorders/RecordingPurpose.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

namespace brelta::recording {

// A finished recording on its way to the backend, as the recording session hands it over.
struct FinishedRecording
{
    QString filePath; // inside the recordings folder
    QDateTime startTime;
    QDateTime endTime;
    qint64 durationSeconds = 0; // whole seconds, truncated
    RecordingPurpose purpose = RecordingPurpose::Practice;
    std::optional<QMap<QString, QString>> sourceParams;
    // The user signed in when the recording started; it is sent under this user only.
    QString owner;
};

// Where the recording session puts a finished recording. The upload queue implements it: by the time
// enqueue() returns the recording is stored, so a quit or a crash right after it loses nothing.
class RecordingHandOff
{
public:
    virtual ~RecordingHandOff() = default;
    virtual void enqueue(const FinishedRecording &recording) = 0;
};

} // namespace brelta::recording
