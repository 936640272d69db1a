#include "shell/RecorderManagerSession.h"

#include "recording/session/AudioRecorderManager.h"

namespace brelta::shell {

RecorderManagerSession::RecorderManagerSession(recording::AudioRecorderManager *manager, QObject *parent)
    : RecordingSession(parent)
    , m_manager(manager)
{
    m_manager->setDelegate(this);
    m_manager->setPresenter(this);
    connect(m_manager, &recording::AudioRecorderManager::recordingStateChanged, this, &RecordingSession::stateChanged);
    connect(m_manager, &recording::AudioRecorderManager::recordingDurationChanged, this,
            &RecordingSession::durationChanged);
    connect(m_manager, &recording::AudioRecorderManager::maxRecordingDurationChanged, this,
            &RecordingSession::durationChanged);
}

RecorderManagerSession::~RecorderManagerSession()
{
    if (m_manager->delegate() == this)
        m_manager->setDelegate(nullptr);
    m_manager->setPresenter(nullptr);
}

recording::AudioRecordingState RecorderManagerSession::state() const
{
    return m_manager->recordingState();
}

bool RecorderManagerSession::hasDisplayedRecordingPopover() const
{
    return m_manager->hasDisplayedRecordingPopover();
}

void RecorderManagerSession::setHasDisplayedRecordingPopover(bool shown)
{
    m_manager->setHasDisplayedRecordingPopover(shown);
}

void RecorderManagerSession::setUsername(const QString &)
{
    // The manager takes the owner of each recording from the stored user name when it starts.
}

QCoro::Task<> RecorderManagerSession::startPracticeRecording(QMap<QString, QString> sourceParams)
{
    return m_manager->startRecording(recording::RecordingPurpose::Practice, std::move(sourceParams));
}

QCoro::Task<> RecorderManagerSession::stopRecording()
{
    return m_manager->stopRecording();
}

QCoro::Task<> RecorderManagerSession::startRecording()
{
    return m_manager->startRecording(recording::RecordingPurpose::Practice);
}

QCoro::Task<> RecorderManagerSession::pauseRecording()
{
    return m_manager->pauseRecording();
}

QCoro::Task<> RecorderManagerSession::resumeRecording()
{
    return m_manager->resumeRecording();
}

qint64 RecorderManagerSession::recordingDuration() const
{
    return m_manager->recordingDuration();
}

double RecorderManagerSession::maxRecordingDuration() const
{
    return m_manager->maxRecordingDuration();
}

void RecorderManagerSession::setMaxRecordingDuration(double seconds)
{
    m_manager->setMaxRecordingDuration(seconds);
}

void RecorderManagerSession::scheduleAutomaticStop()
{
    m_manager->scheduleAutomaticStop();
}

void RecorderManagerSession::handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage)
{
    emit recordingFinished(isTooShort, errorMessage);
}

void RecorderManagerSession::showRecordingReminderPopover()
{
    emit reminderDue();
}

} // namespace brelta::shell
