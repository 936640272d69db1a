#pragma once

#include "screens/onboarding/OnboardingSeams.h"

#include <QObject>
#include <QString>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class AlertPresenter;
}
namespace brelta::platform {
class ErrorTracker;
}
namespace brelta::recording {
class AudioRecorderManager;
}

namespace brelta::screens {

// The trial page's elapsed time: "00:00" below one second, else " MM:SS" with a leading space, the
// minutes not capped at 59.
QString trialElapsedText(qint64 seconds);

// What the trial page's pill does: it starts or stops the recording, reports the press, and shows an
// alert when the recorder refuses. It takes no press while its own start or stop runs, so a second press
// can neither race the start nor fail a second stop.
class TrialRecordingControl : public QObject
{
    Q_OBJECT

public:
    struct Dependencies
    {
        TrialRecorder *recorder = nullptr;
        designsystem::AlertPresenter *alerts = nullptr;
        const analytics::AnalyticsManager *analytics = nullptr; // may be null
        platform::ErrorTracker *errorTracker = nullptr;         // may be null
    };

    static inline const QString kStartFailedTitle = QStringLiteral("Unable to start recording. Please try again");
    static inline const QString kStopFailedTitle = QStringLiteral("Unable to stop recording. Please try again");

    explicit TrialRecordingControl(Dependencies dependencies, QObject *parent = nullptr);

    bool isBusy() const { return m_busy; }
    // Reads the recorder's state when pressed: stopped starts, recording stops, paused does nothing more
    // than report the press.
    void press();

signals:
    void busyChanged(bool busy);
    // The recording was stopped and handed to the upload queue.
    void finished();

private:
    QCoro::Task<> start();
    QCoro::Task<> stop();
    void setBusy(bool busy);
    void fail(const QString &title, const std::exception_ptr &error);

    Dependencies m_deps;
    bool m_busy = false;
};

// The trial recorder over the process's recording session: a microphone recording uploaded as an
// onboarding session.
class ManagerTrialRecorder final : public TrialRecorder
{
    Q_OBJECT

public:
    // `manager` must outlive this object.
    explicit ManagerTrialRecorder(recording::AudioRecorderManager *manager, QObject *parent = nullptr);

    recording::AudioRecordingState state() const override;
    qint64 recordingDuration() const override;
    QCoro::Task<> startOnboardingRecording() override;
    QCoro::Task<> stopRecording() override;

private:
    recording::AudioRecorderManager *m_manager;
};

} // namespace brelta::screens
