#pragma once

#include "recording/recorders/AudioRecordingState.h"

#include <QCoroTask>
#include <QObject>

namespace brelta::messages {

// What the message cards and the message services need of the recording session. The shell wraps the
// session in it.
class RecordingControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual recording::AudioRecordingState state() const = 0;
    // Whole seconds recorded so far.
    virtual qint64 recordingDuration() const = 0;

    // Starts a practice recording without source parameters; throws when it could not start.
    virtual QCoro::Task<> startPracticeRecording() = 0;
    // Stops a running or paused recording; throws when the stop failed.
    virtual QCoro::Task<> stopRecording() = 0;
    // The still-recording reminder starts again from its first interval.
    virtual void restartRecordingReminder() = 0;
    virtual void setHasDisplayedRecordingPopover(bool shown) = 0;

signals:
    void stateChanged();
    // Once a second while recording.
    void durationChanged();
};

} // namespace brelta::messages
