#include "messages/SessionRecordingControl.h"

#include "platform/AppError.h"
#include "recording/session/AudioRecorderManager.h"

namespace brelta::messages {

using recording::AudioRecorderManager;

SessionRecordingControl::SessionRecordingControl(AudioRecorderManager *session, QObject *parent)
    : RecordingControl(parent)
    , m_session(session)
{
    connect(session, &AudioRecorderManager::recordingStateChanged, this, &RecordingControl::stateChanged);
    connect(session, &AudioRecorderManager::recordingDurationChanged, this, &RecordingControl::durationChanged);
}

recording::AudioRecordingState SessionRecordingControl::state() const
{
    return m_session ? m_session->recordingState() : recording::AudioRecordingState::Stopped;
}

qint64 SessionRecordingControl::recordingDuration() const
{
    return m_session ? m_session->recordingDuration() : 0;
}

QCoro::Task<> SessionRecordingControl::startPracticeRecording()
{
    QPointer<AudioRecorderManager> session = m_session;
    if (!session)
        throw platform::AppError(platform::AppError::Kind::General, QStringLiteral("the recording session is gone"));
    QCoro::Task<> start = session->startRecording(recording::RecordingPurpose::Practice);
    co_await std::move(start);
}

QCoro::Task<> SessionRecordingControl::stopRecording()
{
    QPointer<AudioRecorderManager> session = m_session;
    if (!session)
        co_return;
    QCoro::Task<> stop = session->stopRecording();
    co_await std::move(stop);
}

void SessionRecordingControl::restartRecordingReminder()
{
    if (m_session)
        m_session->scheduleRecordingReminder();
}

void SessionRecordingControl::setHasDisplayedRecordingPopover(bool shown)
{
    if (m_session)
        m_session->setHasDisplayedRecordingPopover(shown);
}

} // namespace brelta::messages
