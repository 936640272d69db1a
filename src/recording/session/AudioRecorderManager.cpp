#include "recording/session/AudioRecorderManager.h"

#include "analytics/AnalyticsManager.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/recorders/RecorderErrors.h"
#include "recording/recorders/SimpleAudioRecorder.h"
#include "recording/recorders/SystemVoiceFilteredAudioRecorder.h"
#include "recording/session/AudioRecorderManagerDelegate.h"
#include "recording/session/RecorderChoice.h"
#include "recording/session/RecordingPresenter.h"
#include "recording/session/RecordingProcessing.h"
#include "recording/session/RecordingsDirectory.h"
#include "recording/vad/SystemVoiceActivityDetector.h"
#include "recording/vad/VadProvider.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>
#include <typeinfo>

Q_LOGGING_CATEGORY(lcRecorderManager, "brelta.recording.AudioRecorderManager")

namespace brelta::recording {

namespace event = analytics::event;
using platform::Timer;

namespace {

constexpr std::chrono::seconds kFirstReminder{300};
constexpr std::chrono::seconds kReminderInterval{900};
constexpr double kFinalReminderLead = 60;
const QString kMediaFormat = QStringLiteral("m4a");

// Seconds as a timer interval. A timer cannot wait longer than about 24 days; a limit beyond that is as good
// as none.
std::chrono::milliseconds timerInterval(double seconds)
{
    const double milliseconds = std::clamp(seconds * 1000.0, 0.0, double(std::numeric_limits<int>::max()));
    return std::chrono::milliseconds(std::llround(milliseconds));
}

// The recorder may be the sender of whatever brought us here, or still unwinding the operation that just
// returned: it goes from the event loop.
void releaseLater(IAudioRecorder *recorder)
{
    if (auto *object = dynamic_cast<QObject *>(recorder))
        object->deleteLater();
    else
        delete recorder;
}

QString className(IAudioRecorder *recorder)
{
    if (const auto *object = dynamic_cast<const QObject *>(recorder))
        return QString::fromLatin1(object->metaObject()->className());
    return QString::fromLatin1(typeid(*recorder).name());
}

[[noreturn]] void throwSessionEnded()
{
    throw AudioRecorderError(QStringLiteral("the recording session has ended"));
}

// What an operation threw, if anything. (A task cannot carry an exception_ptr as its value.)
struct Attempt
{
    std::exception_ptr failure;
};

// A coroutine cannot await inside a catch block, so callers act on the failure after this returns.
QCoro::Task<Attempt> attempt(QCoro::Task<> operation)
{
    Attempt result;
    try {
        co_await std::move(operation);
    } catch (...) {
        result.failure = std::current_exception();
    }
    co_return result;
}

} // namespace

// Tells the manager which recording's recorder failed. Each recording has its own, so a failure that arrives
// after its recording has ended is recognised as stale.
class AudioRecorderManager::FailureHookup final : public AudioRecorderDelegate
{
public:
    FailureHookup(AudioRecorderManager *manager, quint64 recordingId) : m_manager(manager), m_recordingId(recordingId)
    {}

    void recorderDidFail(std::exception_ptr error) override
    {
        // We are inside the recorder's own call: stopping it from here would release it under its feet.
        QPointer<AudioRecorderManager> manager = m_manager;
        if (!manager)
            return;
        QMetaObject::invokeMethod(
            manager.data(),
            [manager, id = m_recordingId, error] {
                if (manager)
                    manager->handleRecorderFailure(id, error);
            },
            Qt::QueuedConnection);
    }

private:
    QPointer<AudioRecorderManager> m_manager;
    quint64 m_recordingId;
};

struct AudioRecorderManager::Recording
{
    quint64 id = 0;
    RecordingPurpose purpose = RecordingPurpose::Practice;
    std::optional<QMap<QString, QString>> sourceParams;
    // Who was signed in at the start: the recording is sent under this user whoever is signed in later.
    QString owner;
    QString filePath;
    QDateTime startTime;
    QDateTime endTime;
    std::shared_ptr<IAudioRecorder> recorder;
    std::unique_ptr<FailureHookup> hookup;
    std::unique_ptr<Timer> durationTimer;
    std::unique_ptr<Timer> reminderTimer;
    std::unique_ptr<Timer> finalReminderTimer;
    std::unique_ptr<Timer> automaticStopTimer;

    ~Recording()
    {
        if (recorder && recorder->delegate() == hookup.get())
            recorder->setDelegate(nullptr);
        // One of them may be the timer whose timeout is being delivered.
        for (std::unique_ptr<Timer> *timer :
             {&durationTimer, &reminderTimer, &finalReminderTimer, &automaticStopTimer}) {
            if (*timer) {
                (*timer)->stop();
                timer->release()->deleteLater();
            }
        }
    }
};

AudioRecorderManager::AudioRecorderManager(Services services, QObject *parent)
    : AudioRecorderManager(services, Options{}, parent)
{}

AudioRecorderManager::AudioRecorderManager(Services services, Options options, QObject *parent)
    : QObject(parent)
    , m_clock(services.clock)
    , m_settings(services.settings)
    , m_handOff(services.handOff)
    , m_analytics(services.analytics)
    , m_errorTracker(services.errorTracker)
    , m_options(std::move(options))
    , m_constructed(m_clock.now())
{
    if (!m_options.microphoneRecorder)
        m_options.microphoneRecorder = [] { return std::make_unique<SimpleAudioRecorder>(); };
    if (!m_options.filteredRecorder) {
        m_options.filteredRecorder = [clock = &m_clock, errors = m_errorTracker] {
            SystemVoiceDetectorFactory detectors = [clock, errors]() -> std::unique_ptr<ISystemVoiceActivityDectector> {
                SystemVoiceActivityDetectorOptions detectorOptions;
                detectorOptions.errorTracker = errors;
                return std::make_unique<SystemVoiceActivityDetector>(std::make_unique<WebRtcVadProviderProvider>(),
                                                                     clock, detectorOptions);
            };
            SystemVoiceFilteredAudioRecorder::Options recorderOptions;
            recorderOptions.errorTracker = errors;
            return std::make_unique<SystemVoiceFilteredAudioRecorder>(std::move(detectors), recorderOptions);
        };
    }
}

AudioRecorderManager::~AudioRecorderManager() = default;

void AudioRecorderManager::setWebViewRecorder(std::shared_ptr<IAudioRecorder> recorder)
{
    m_webViewRecorder = std::move(recorder);
}

QCoro::Task<> AudioRecorderManager::startRecording(RecordingPurpose purpose,
                                                   std::optional<QMap<QString, QString>> sourceParams)
{
    QPointer<AudioRecorderManager> self(this);
    QCoro::Task<OperationTurns::Turn> waiting = m_turns.waitForTurn();
    const OperationTurns::Turn turn = co_await std::move(waiting);
    if (!self)
        throwSessionEnded();

    // Also while paused: a new recording would leave the paused one unfinished and never sent.
    if (m_state != AudioRecordingState::Stopped)
        fail(refusal("start"), event::RecordingStartFailed{.mediaFormat = kMediaFormat});

    const auto recording = std::make_shared<Recording>();
    recording->id = ++m_lastRecordingId;
    recording->purpose = purpose;
    recording->sourceParams = std::move(sourceParams);
    recording->owner = m_settings.value(platform::settings::kUsername);
    m_recording = recording;
    setState(AudioRecordingState::Recording);

    std::exception_ptr failure;
    try {
        recording->recorder = selectRecorder(purpose);
        recording->hookup = std::make_unique<FailureHookup>(this, recording->id);
        recording->recorder->setDelegate(recording->hookup.get());
        qCInfo(lcRecorderManager).noquote() << "select audio recorder:" << className(recording->recorder.get());
        const QString folder = recordingsDirectory(
            m_options.recordingsFolder.isEmpty() ? RecordingsFolder::defaultPath() : m_options.recordingsFolder);
        recording->filePath = QDir(folder).filePath(newRecordingFileName(purpose));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure) {
        QCoro::Task<Attempt> starting = attempt(recording->recorder->start(QUrl::fromLocalFile(recording->filePath)));
        const Attempt started = co_await std::move(starting);
        failure = started.failure;
        if (!self)
            throwSessionEnded();
    }
    if (failure) {
        qCWarning(lcRecorderManager).noquote() << "cannot start the recording:" << describeFailure(failure);
        releaseRecorder(*recording);
        setState(AudioRecordingState::Stopped);
        stopTimers(*recording); // an extension during the start may have armed them
        fail(failure, event::RecordingStartFailed{.mediaFormat = kMediaFormat});
    }

    setMaxRecordingDuration(kMaximumRecordingSeconds);
    setRecordingDuration(0);
    armTimers();
    setHasDisplayedRecordingPopover(false);
    send(event::RecordingStartSucceeded{.mediaFormat = kMediaFormat});
}

QCoro::Task<> AudioRecorderManager::pauseRecording()
{
    QPointer<AudioRecorderManager> self(this);
    QCoro::Task<OperationTurns::Turn> waiting = m_turns.waitForTurn();
    const OperationTurns::Turn turn = co_await std::move(waiting);
    if (!self)
        throwSessionEnded();

    if (m_state != AudioRecordingState::Recording) {
        const std::exception_ptr refused = refusal("pause");
        fail(refused,
             event::RecordingPauseFailed{.mediaFormat = kMediaFormat, .errorMessage = describeFailure(refused)});
    }

    const std::shared_ptr<Recording> recording = m_recording;
    setState(AudioRecordingState::Paused);
    QCoro::Task<Attempt> pausing = attempt(recording->recorder->pause());
    const Attempt paused = co_await std::move(pausing);
    const std::exception_ptr failure = paused.failure;
    if (!self)
        throwSessionEnded();

    if (failure) {
        qCWarning(lcRecorderManager).noquote() << "cannot pause the recording:" << describeFailure(failure);
        setState(AudioRecordingState::Recording);
        fail(failure,
             event::RecordingPauseFailed{.mediaFormat = kMediaFormat, .errorMessage = describeFailure(failure)});
    }
    stopTimers(*recording);
    send(event::RecordingPauseSucceeded{.mediaFormat = kMediaFormat});
}

QCoro::Task<> AudioRecorderManager::resumeRecording()
{
    QPointer<AudioRecorderManager> self(this);
    QCoro::Task<OperationTurns::Turn> waiting = m_turns.waitForTurn();
    const OperationTurns::Turn turn = co_await std::move(waiting);
    if (!self)
        throwSessionEnded();

    if (m_state != AudioRecordingState::Paused)
        fail(refusal("resume"), event::RecordingResumeFailed{.mediaFormat = kMediaFormat});

    const std::shared_ptr<Recording> recording = m_recording;
    setState(AudioRecordingState::Recording);
    QCoro::Task<Attempt> resuming = attempt(recording->recorder->resume());
    const Attempt resumed = co_await std::move(resuming);
    const std::exception_ptr failure = resumed.failure;
    if (!self)
        throwSessionEnded();

    if (failure) {
        qCWarning(lcRecorderManager).noquote() << "cannot resume the recording:" << describeFailure(failure);
        setState(AudioRecordingState::Paused);
        fail(failure, event::RecordingResumeFailed{.mediaFormat = kMediaFormat});
    }
    armTimers();
    send(event::RecordingResumeSucceeded{.mediaFormat = kMediaFormat});
}

QCoro::Task<> AudioRecorderManager::stopRecording()
{
    return stop(std::nullopt);
}

QCoro::Task<> AudioRecorderManager::stop(std::optional<quint64> onlyRecording)
{
    QPointer<AudioRecorderManager> self(this);
    QCoro::Task<OperationTurns::Turn> waiting = m_turns.waitForTurn();
    const OperationTurns::Turn turn = co_await std::move(waiting);
    if (!self)
        throwSessionEnded();

    if (onlyRecording && !isRunning(*onlyRecording)) {
        qCInfo(lcRecorderManager) << "recording" << *onlyRecording << "has already stopped";
        co_return;
    }
    if (m_state == AudioRecordingState::Stopped) {
        const std::exception_ptr refused = refusal("stop");
        fail(refused, event::RecordingEndFailed{.mediaFormat = kMediaFormat, .errorMessage = describeFailure(refused)});
    }

    const std::shared_ptr<Recording> recording = m_recording;
    setState(AudioRecordingState::Stopped);
    setRecordingDuration(0);
    stopTimers(*recording);

    // A recorder that failed on its own already reads stopped and is not asked again.
    const std::shared_ptr<IAudioRecorder> recorder = recording->recorder;
    if (recorder && recorder->recordingState() != AudioRecordingState::Stopped) {
        QCoro::Task<Attempt> stopping = attempt(recorder->stop());
        const Attempt stopped = co_await std::move(stopping);
        const std::exception_ptr failure = stopped.failure;
        if (!self)
            throwSessionEnded();
        // What the file holds is still worth sending.
        if (failure)
            qCWarning(lcRecorderManager).noquote() << "the recorder did not stop cleanly:" << describeFailure(failure);
    }
    releaseRecorder(*recording);

    if (!recording->filePath.isEmpty() && QFileInfo(recording->filePath).isFile()) {
        processRecording(*recording);
        send(event::RecordingEndSucceeded{.mediaFormat = kMediaFormat});
        co_return;
    }
    const AudioRecorderError missing(QStringLiteral("path: ")
                                     + (recording->filePath.isEmpty()
                                            ? QStringLiteral("nil")
                                            : QUrl::fromLocalFile(recording->filePath).toString(QUrl::FullyEncoded)));
    qCWarning(lcRecorderManager).noquote() << "the stopped recording has no file:" << missing.message();
    fail(std::make_exception_ptr(missing),
         event::RecordingEndFailed{.mediaFormat = kMediaFormat, .errorMessage = missing.description()});
}

QCoro::Task<> AudioRecorderManager::stopOnItsOwn(quint64 recordingId, QString reason)
{
    try {
        QCoro::Task<> stopping = stop(recordingId);
        co_await std::move(stopping);
    } catch (const std::exception &error) {
        // Nobody waits for this stop; its failure has been reported like any other.
        qCWarning(lcRecorderManager).noquote() << "the stop" << reason << "failed:" << error.what();
    }
}

void AudioRecorderManager::handleRecorderFailure(quint64 recordingId, std::exception_ptr error)
{
    if (!isRunning(recordingId)) {
        qCWarning(lcRecorderManager).noquote()
            << "dropped a failure of the recorder of ended recording" << recordingId << ":" << describeFailure(error);
        return;
    }
    qCWarning(lcRecorderManager).noquote() << "the recorder failed on its own:" << describeFailure(error);
    report(error);
    stopOnItsOwn(recordingId, QStringLiteral("after the recorder's failure"));
}

bool AudioRecorderManager::isRunning(quint64 recordingId) const
{
    return m_recording && m_recording->id == recordingId && m_state != AudioRecordingState::Stopped;
}

std::shared_ptr<IAudioRecorder> AudioRecorderManager::selectRecorder(RecordingPurpose purpose)
{
    using platform::settings::kOnboardingCompleted;
    using platform::settings::kUseExperimentAudioRecorder;
    using platform::settings::kUseWebViewRecorderNewest;
    RecorderKind kind =
        chooseRecorder(purpose, m_settings.value(kOnboardingCompleted), m_settings.value(kUseWebViewRecorderNewest),
                       m_settings.value(kUseExperimentAudioRecorder));
    if (kind == RecorderKind::WebView) {
        if (m_webViewRecorder)
            return m_webViewRecorder;
        // Never the bare microphone: privacy control promises the other side stays out.
        qCInfo(lcRecorderManager) << "no web-view recorder yet: the filtered recorder stands in for it";
        kind = RecorderKind::SystemVoiceFiltered;
    }
    const RecorderMaker &maker =
        kind == RecorderKind::Microphone ? m_options.microphoneRecorder : m_options.filteredRecorder;
    std::unique_ptr<IAudioRecorder> made = maker();
    if (!made)
        throw AudioRecorderError(QStringLiteral("no recorder could be made"));
    return std::shared_ptr<IAudioRecorder>(made.release(), releaseLater);
}

void AudioRecorderManager::releaseRecorder(Recording &recording)
{
    if (recording.recorder && recording.recorder->delegate() == recording.hookup.get())
        recording.recorder->setDelegate(nullptr);
    recording.recorder.reset();
    recording.hookup.reset();
}

void AudioRecorderManager::processRecording(const Recording &recording)
{
    FinishedRecording finished;
    finished.filePath = recording.filePath;
    finished.startTime = recording.startTime;
    finished.endTime = recording.endTime;
    finished.purpose = recording.purpose;
    finished.sourceParams = recording.sourceParams;
    finished.owner = recording.owner;
    const ProcessingOutcome outcome = processFinishedRecording(std::move(finished), m_handOff);
    if (outcome.error)
        report(outcome.error);
    // The shell hears of it once this stop has returned, whoever asked for the stop.
    QMetaObject::invokeMethod(
        this,
        [this, isTooShort = outcome.isTooShort, message = outcome.errorMessage] {
            if (m_delegate)
                m_delegate->handleRecordingFinished(isTooShort, message);
        },
        Qt::QueuedConnection);
}

void AudioRecorderManager::scheduleRecordingReminder()
{
    if (m_state != AudioRecordingState::Recording || !m_recording) {
        qCDebug(lcRecorderManager) << "no recording runs: the reminder is armed at the next start or resume";
        return;
    }
    Recording &recording = *m_recording;
    if (!recording.reminderTimer) {
        recording.reminderTimer = m_clock.createTimer();
        Timer *timer = recording.reminderTimer.get();
        connect(timer, &Timer::timeout, this, [this, timer] {
            if (timer->interval() != kReminderInterval)
                timer->start(kReminderInterval, Timer::Mode::Repeating);
            showReminder();
        });
    }
    recording.reminderTimer->start(kFirstReminder, Timer::Mode::SingleShot);
}

void AudioRecorderManager::scheduleAutomaticStop()
{
    if (m_state != AudioRecordingState::Recording || !m_recording) {
        qCInfo(lcRecorderManager) << "no recording runs: a maximum of" << m_maxRecordingDuration
                                  << "s applies from the next start or resume";
        return;
    }
    Recording &recording = *m_recording;
    if (recording.automaticStopTimer)
        recording.automaticStopTimer->stop();
    scheduleFinalRecordingReminder();
    const double remaining = m_maxRecordingDuration - double(m_recordingDuration);
    if (!(remaining > 0))
        return;
    if (!recording.automaticStopTimer) {
        recording.automaticStopTimer = m_clock.createTimer();
        connect(recording.automaticStopTimer.get(), &Timer::timeout, this,
                [this, id = recording.id] { stopOnItsOwn(id, QStringLiteral("at the maximum length")); });
    }
    recording.automaticStopTimer->start(timerInterval(remaining), Timer::Mode::SingleShot);
}

void AudioRecorderManager::scheduleFinalRecordingReminder()
{
    Recording &recording = *m_recording;
    if (recording.finalReminderTimer)
        recording.finalReminderTimer->stop();
    const double remaining = m_maxRecordingDuration - double(m_recordingDuration);
    if (!(remaining > kFinalReminderLead))
        return;
    if (!recording.finalReminderTimer) {
        recording.finalReminderTimer = m_clock.createTimer();
        connect(recording.finalReminderTimer.get(), &Timer::timeout, this, &AudioRecorderManager::showReminder);
    }
    recording.finalReminderTimer->start(timerInterval(remaining - kFinalReminderLead), Timer::Mode::SingleShot);
}

void AudioRecorderManager::startDurationTimer()
{
    Recording &recording = *m_recording;
    if (!recording.durationTimer) {
        recording.durationTimer = m_clock.createTimer();
        connect(recording.durationTimer.get(), &Timer::timeout, this,
                [this] { setRecordingDuration(m_recordingDuration + 1); });
    }
    recording.durationTimer->start(std::chrono::seconds(1), Timer::Mode::Repeating);
}

void AudioRecorderManager::armTimers()
{
    scheduleRecordingReminder();
    scheduleAutomaticStop();
    startDurationTimer();
}

void AudioRecorderManager::stopTimers(Recording &recording)
{
    for (Timer *timer : {recording.durationTimer.get(), recording.reminderTimer.get(),
                         recording.finalReminderTimer.get(), recording.automaticStopTimer.get()}) {
        if (timer)
            timer->stop();
    }
}

void AudioRecorderManager::showReminder()
{
    if (m_presenter)
        m_presenter->showRecordingReminderPopover();
    else
        qCInfo(lcRecorderManager) << "a recording reminder is due, but there is no shell to show it";
}

void AudioRecorderManager::setState(AudioRecordingState state)
{
    const bool changed = state != m_state;
    m_state = state;
    if (m_recording) {
        if (state == AudioRecordingState::Recording)
            m_recording->startTime = m_clock.now();
        else if (state == AudioRecordingState::Stopped)
            m_recording->endTime = m_clock.now();
    }
    if (changed)
        Q_EMIT recordingStateChanged(state);
}

void AudioRecorderManager::setRecordingDuration(qint64 seconds)
{
    if (seconds == m_recordingDuration)
        return;
    m_recordingDuration = seconds;
    Q_EMIT recordingDurationChanged(seconds);
}

void AudioRecorderManager::setHasDisplayedRecordingPopover(bool displayed)
{
    if (displayed == m_hasDisplayedRecordingPopover)
        return;
    m_hasDisplayedRecordingPopover = displayed;
    Q_EMIT hasDisplayedRecordingPopoverChanged(displayed);
}

void AudioRecorderManager::setMaxRecordingDuration(double seconds)
{
    if (!std::isfinite(seconds)) {
        qCWarning(lcRecorderManager) << "ignored a maximum recording length that is not a number:" << seconds;
        return;
    }
    if (seconds == m_maxRecordingDuration)
        return;
    m_maxRecordingDuration = seconds;
    Q_EMIT maxRecordingDurationChanged(seconds);
}

RecordingPurpose AudioRecorderManager::recordingPurpose() const
{
    return m_recording ? m_recording->purpose : RecordingPurpose::Practice;
}

std::optional<QMap<QString, QString>> AudioRecorderManager::sourceParams() const
{
    return m_recording ? m_recording->sourceParams : std::nullopt;
}

QString AudioRecorderManager::recordingFilePath() const
{
    return m_recording ? m_recording->filePath : QString();
}

QDateTime AudioRecorderManager::recordingStartTime() const
{
    return m_recording ? m_recording->startTime : m_constructed;
}

QDateTime AudioRecorderManager::recordingEndTime() const
{
    return m_recording ? m_recording->endTime : m_constructed;
}

void AudioRecorderManager::report(const std::exception_ptr &error) const
{
    if (!m_errorTracker || !error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const AudioRecorderError &own) {
        // Keep the underlying reason ("no such source"), which what() leaves out.
        if (own.cause().isEmpty())
            m_errorTracker->captureError(own);
        else
            m_errorTracker->captureError(QStringLiteral("AudioRecorderError"), own.description());
    } catch (const std::exception &failure) {
        m_errorTracker->captureError(failure);
    } catch (...) {
        m_errorTracker->captureError(QStringLiteral("UnknownError"), describeFailure(error));
    }
}

template<typename Event>
void AudioRecorderManager::send(Event event) const
{
    if (m_analytics)
        m_analytics->send(event);
}

std::exception_ptr AudioRecorderManager::refusal(const char *operation) const
{
    return std::make_exception_ptr(AudioRecorderError(
        QStringLiteral("Cannot %1: recording state: %2").arg(QLatin1String(operation), stateName(m_state))));
}

template<typename FailedEvent>
void AudioRecorderManager::fail(const std::exception_ptr &error, FailedEvent event) const
{
    report(error);
    send(std::move(event));
    std::rethrow_exception(error);
}

} // namespace brelta::recording
