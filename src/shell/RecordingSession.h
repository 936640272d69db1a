#pragma once

#include "recording/recorders/AudioRecordingState.h"

#include <QCoroTask>
#include <QMap>
#include <QObject>
#include <QString>

#include <optional>

namespace brelta::shell {

// What the shell needs of the recording session: its state (for the status image, the quit and the
// recording-started popover), the flag that the recording-started popover was shown, the user name sent
// with uploads, and a stop. The session's own calls into the shell (a finished recording was processed, a
// reminder is due) arrive as the signals below; the object that wraps the session translates them.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual recording::AudioRecordingState state() const = 0;

    virtual bool hasDisplayedRecordingPopover() const = 0;
    virtual void setHasDisplayedRecordingPopover(bool shown) = 0;

    virtual void setUsername(const QString &username) = 0;

    // Starts a practice recording with these source parameters (stored and uploaded with it). Throws when
    // it cannot start (already recording, no microphone, …).
    virtual QCoro::Task<> startPracticeRecording(QMap<QString, QString> sourceParams) = 0;

    // Stops a running or paused recording. Finishes once the finished recording has been handed to the
    // upload queue, or throws when the stop failed.
    virtual QCoro::Task<> stopRecording() = 0;

    // The recorder panel's controls and the reminder's extension -----------------------------------------

    // Starts a practice recording without source parameters; throws when it could not start.
    virtual QCoro::Task<> startRecording() = 0;
    virtual QCoro::Task<> pauseRecording() = 0;
    virtual QCoro::Task<> resumeRecording() = 0;
    // Whole seconds recorded so far (pauses not counted).
    virtual qint64 recordingDuration() const = 0;
    // The length at which the recording stops on its own, in seconds.
    virtual double maxRecordingDuration() const = 0;
    virtual void setMaxRecordingDuration(double seconds) = 0;
    // Re-arms the final reminder and the automatic stop for the current maximum.
    virtual void scheduleAutomaticStop() = 0;

signals:
    // After every change of state().
    void stateChanged();
    // After every change of recordingDuration() or maxRecordingDuration().
    void durationChanged();
    // A finished recording was processed: no message when it was queued for upload; a message when it was
    // too short (and deleted) or could not be processed.
    void recordingFinished(bool isTooShort, std::optional<QString> errorMessage);
    // The still-recording or final reminder fired.
    void reminderDue();
};

} // namespace brelta::shell
