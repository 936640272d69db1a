#pragma once

#include "messages/RecordingControl.h"

#include <QPointer>

namespace brelta::recording {
class AudioRecorderManager;
}

namespace brelta::messages {

// The recording session as the message cards and services see it.
class SessionRecordingControl final : public RecordingControl
{
    Q_OBJECT

public:
    // `session` should outlive this; once it is gone the control reads as stopped and refuses to start.
    explicit SessionRecordingControl(recording::AudioRecorderManager *session, QObject *parent = nullptr);

    recording::AudioRecordingState state() const override;
    qint64 recordingDuration() const override;
    QCoro::Task<> startPracticeRecording() override;
    QCoro::Task<> stopRecording() override;
    void restartRecordingReminder() override;
    void setHasDisplayedRecordingPopover(bool shown) override;

private:
    QPointer<recording::AudioRecorderManager> m_session;
};

} // namespace brelta::messages
