#pragma once

#include "recording/session/AudioRecorderManagerDelegate.h"
#include "recording/session/RecordingPresenter.h"
#include "shell/RecordingSession.h"

namespace brelta::recording {
class AudioRecorderManager;
}

namespace brelta::shell {

// The recording session as the shell sees it, over the process's AudioRecorderManager: forwards its state
// and popover flag, and turns its delegate and presenter calls into this seam's signals. The manager
// reads the signed-in user from the settings at each start, so the user name needs no forwarding.
class RecorderManagerSession final : public RecordingSession,
                                     public recording::AudioRecorderManagerDelegate,
                                     public recording::RecordingPresenter
{
    Q_OBJECT

public:
    // `manager` must outlive this object; the session becomes its delegate and presenter.
    explicit RecorderManagerSession(recording::AudioRecorderManager *manager, QObject *parent = nullptr);
    ~RecorderManagerSession() override;

    recording::AudioRecordingState state() const override;
    bool hasDisplayedRecordingPopover() const override;
    void setHasDisplayedRecordingPopover(bool shown) override;
    void setUsername(const QString &username) override;
    QCoro::Task<> startPracticeRecording(QMap<QString, QString> sourceParams) override;
    // The manager hands the recording to the upload queue before its stop returns.
    QCoro::Task<> stopRecording() override;
    QCoro::Task<> startRecording() override;
    QCoro::Task<> pauseRecording() override;
    QCoro::Task<> resumeRecording() override;
    qint64 recordingDuration() const override;
    double maxRecordingDuration() const override;
    void setMaxRecordingDuration(double seconds) override;
    void scheduleAutomaticStop() override;

    void handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage) override;
    void showRecordingReminderPopover() override;

private:
    recording::AudioRecorderManager *m_manager;
};

} // namespace brelta::shell
