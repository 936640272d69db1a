#include "screens/onboarding/TrialRecording.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "designsystem/components/Alert.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/session/AudioRecorderManager.h"

#include <QLoggingCategory>
#include <QPointer>

#include <stdexcept>

Q_LOGGING_CATEGORY(lcTrialRecording, "brelta.screens.TrialRecordingControl")

namespace brelta::screens {

using recording::AudioRecordingState;

QString trialElapsedText(qint64 seconds)
{
    if (seconds < 1)
        return QStringLiteral("00:00");
    return QStringLiteral(" %1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TrialRecordingControl::TrialRecordingControl(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(dependencies)
{}

void TrialRecordingControl::setBusy(bool busy)
{
    if (std::exchange(m_busy, busy) != busy)
        emit busyChanged(busy);
}

void TrialRecordingControl::press()
{
    if (m_busy)
        return;
    const AudioRecordingState state = m_deps.recorder->state();
    analytics::sendClick(m_deps.analytics, analytics::event::ScreenName::OnboardingPopover,
                         state == AudioRecordingState::Recording
                             ? analytics::event::ComponentName::StopRecordingButton
                             : analytics::event::ComponentName::StartRecordingButton);
    switch (state) {
    case AudioRecordingState::Stopped:
        start();
        return;
    case AudioRecordingState::Recording:
        stop();
        return;
    case AudioRecordingState::Paused:
        return;
    }
}

QCoro::Task<> TrialRecordingControl::start()
{
    QPointer<TrialRecordingControl> self(this);
    setBusy(true);
    std::exception_ptr failure;
    try {
        QCoro::Task<> starting = m_deps.recorder->startOnboardingRecording();
        co_await std::move(starting);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    setBusy(false);
    if (failure)
        fail(kStartFailedTitle, failure);
}

QCoro::Task<> TrialRecordingControl::stop()
{
    QPointer<TrialRecordingControl> self(this);
    setBusy(true);
    std::exception_ptr failure;
    try {
        QCoro::Task<> stopping = m_deps.recorder->stopRecording();
        co_await std::move(stopping);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    setBusy(false);
    if (failure) {
        fail(kStopFailedTitle, failure);
        co_return;
    }
    emit finished();
}

void TrialRecordingControl::fail(const QString &title, const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        qCWarning(lcTrialRecording).noquote() << title << "-" << e.what();
        if (m_deps.errorTracker)
            m_deps.errorTracker->captureError(e);
    } catch (...) {
        qCWarning(lcTrialRecording).noquote() << title << "- an unknown error";
        if (m_deps.errorTracker)
            m_deps.errorTracker->captureError(QStringLiteral("TrialRecordingError"), title);
    }
    if (m_deps.alerts)
        m_deps.alerts->showAlert(title, QString());
}

ManagerTrialRecorder::ManagerTrialRecorder(recording::AudioRecorderManager *manager, QObject *parent)
    : TrialRecorder(parent)
    , m_manager(manager)
{
    connect(m_manager, &recording::AudioRecorderManager::recordingStateChanged, this, &TrialRecorder::stateChanged);
    connect(m_manager, &recording::AudioRecorderManager::recordingDurationChanged, this,
            &TrialRecorder::durationChanged);
}

AudioRecordingState ManagerTrialRecorder::state() const
{
    return m_manager->recordingState();
}

qint64 ManagerTrialRecorder::recordingDuration() const
{
    return m_manager->recordingDuration();
}

QCoro::Task<> ManagerTrialRecorder::startOnboardingRecording()
{
    return m_manager->startRecording(recording::RecordingPurpose::Onboarding);
}

QCoro::Task<> ManagerTrialRecorder::stopRecording()
{
    return m_manager->stopRecording();
}

} // namespace brelta::screens
