#pragma once

#include "recording/recorders/AudioRecordingState.h"
#include "recording/recorders/IAudioRecorder.h"
#include "recording/recorders/RecordingPurpose.h"
#include "recording/session/OperationTurns.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace brelta::platform {
class Clock;
class ErrorTracker;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::analytics {
class AnalyticsManager;
}

namespace brelta::recording {

class AudioRecorderManagerDelegate;
class RecordingHandOff;
class RecordingPresenter;

// The one recording session of the process: starts, pauses, resumes and stops recordings with the recorder
// the user's privacy choice calls for, counts the seconds, reminds the user that a recording still runs,
// stops it at its maximum length, and hands every stopped recording to the upload queue under the user who
// started it.
//
// Operations run one at a time, in the order they were asked for: one that arrives while another awaits its
// recorder waits its turn and is judged against the state it then finds. Each recording has its own
// recorder, file, timers and failure hookup; whatever belongs to an earlier recording (a late failure of its
// recorder, its automatic stop) never acts on a later one. A recorder is released from the event loop once
// its last operation has returned.
//
// Every failure of an operation is reported to the error tracker, sent as its analytics event and thrown to
// the caller; a refusal changes nothing. Lives on the main thread.
class AudioRecorderManager final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(brelta::recording::AudioRecordingState recordingState READ recordingState NOTIFY recordingStateChanged)
    Q_PROPERTY(bool hasDisplayedRecordingPopover READ hasDisplayedRecordingPopover WRITE setHasDisplayedRecordingPopover
                   NOTIFY hasDisplayedRecordingPopoverChanged)
    Q_PROPERTY(qint64 recordingDuration READ recordingDuration NOTIFY recordingDurationChanged)
    Q_PROPERTY(double maxRecordingDuration READ maxRecordingDuration WRITE setMaxRecordingDuration NOTIFY
                   maxRecordingDurationChanged)

public:
    // Every start allows this many seconds; each extension adds as many again.
    static constexpr double kMaximumRecordingSeconds = 7200;

    using RecorderMaker = std::function<std::unique_ptr<IAudioRecorder>()>;

    struct Services
    {
        platform::Clock &clock;
        platform::SettingsStore &settings; // the user's choices and the signed-in user
        RecordingHandOff &handOff;         // the upload queue
        const analytics::AnalyticsManager *analytics = nullptr;
        platform::ErrorTracker *errorTracker = nullptr; // also handed to the recorders it makes
    };

    struct Options
    {
        // Empty: RecordingsFolder::defaultPath(), the folder the upload queue watches.
        QString recordingsFolder;
        // Each makes a new recorder for one recording. Empty: the microphone recorder and the filtered
        // recorder over the WebRTC voice detector.
        RecorderMaker microphoneRecorder;
        RecorderMaker filteredRecorder;
    };

    explicit AudioRecorderManager(Services services, QObject *parent = nullptr);
    AudioRecorderManager(Services services, Options options, QObject *parent = nullptr);
    ~AudioRecorderManager() override;

    // The web-view recorder, reused by every recording that picks it. Until one is set, the filtered recorder
    // stands in for it, so privacy control still keeps the other side out.
    void setWebViewRecorder(std::shared_ptr<IAudioRecorder> recorder);

    // Not owned; clear them before they go.
    void setDelegate(AudioRecorderManagerDelegate *delegate) { m_delegate = delegate; }
    AudioRecorderManagerDelegate *delegate() const { return m_delegate; }
    void setPresenter(RecordingPresenter *presenter) { m_presenter = presenter; }

    // Refused ("Cannot start: recording state: …") unless stopped. `sourceParams` travel with the upload.
    QCoro::Task<> startRecording(RecordingPurpose purpose,
                                 std::optional<QMap<QString, QString>> sourceParams = std::nullopt);
    // Refused unless recording.
    QCoro::Task<> pauseRecording();
    // Refused unless paused.
    QCoro::Task<> resumeRecording();
    // Refused when stopped. Errors of the recorder's own stop are logged and the file is processed anyway;
    // fails with "path: " and the file's URL when there is no file.
    QCoro::Task<> stopRecording();

    // (Re)arms the still-recording reminder: 300 s from now, then every 900 s. Only while recording: the next
    // resume or start arms it otherwise.
    void scheduleRecordingReminder();
    // (Re)arms the automatic stop at the maximum length and the final reminder 60 s before it (none when 60 s
    // or less remain). Only while recording: while paused or stopped a raised maximum waits for the next
    // resume or start.
    void scheduleAutomaticStop();

    AudioRecordingState recordingState() const { return m_state; }
    bool hasDisplayedRecordingPopover() const { return m_hasDisplayedRecordingPopover; }
    void setHasDisplayedRecordingPopover(bool displayed);
    qint64 recordingDuration() const { return m_recordingDuration; }
    double maxRecordingDuration() const { return m_maxRecordingDuration; }
    // A value that is not a finite number is ignored.
    void setMaxRecordingDuration(double seconds);

    // Of the current or last recording.
    RecordingPurpose recordingPurpose() const;
    std::optional<QMap<QString, QString>> sourceParams() const;
    QString recordingFilePath() const;
    // Start of its last stretch of recording (a resume moves it), and its last stop or failed start.
    QDateTime recordingStartTime() const;
    QDateTime recordingEndTime() const;

Q_SIGNALS:
    void recordingStateChanged(brelta::recording::AudioRecordingState state);
    void hasDisplayedRecordingPopoverChanged(bool displayed);
    void recordingDurationChanged(qint64 seconds);
    void maxRecordingDurationChanged(double seconds);

private:
    struct Recording;
    class FailureHookup;

    // Stops the current recording; with `onlyRecording`, only when that recording is still running.
    QCoro::Task<> stop(std::optional<quint64> onlyRecording);
    // Stops `recordingId` from a timer or after a failure: nobody waits for it, so errors are only logged.
    QCoro::Task<> stopOnItsOwn(quint64 recordingId, QString reason);
    void handleRecorderFailure(quint64 recordingId, std::exception_ptr error);
    bool isRunning(quint64 recordingId) const;

    std::shared_ptr<IAudioRecorder> selectRecorder(RecordingPurpose purpose);
    RecorderMaker makerFor(bool filtered) const;
    void releaseRecorder(Recording &recording);
    void processRecording(const Recording &recording);

    void setState(AudioRecordingState state);
    void setRecordingDuration(qint64 seconds);
    void armTimers();
    void scheduleFinalRecordingReminder();
    void startDurationTimer();
    void stopTimers(Recording &recording);
    void showReminder();

    void report(const std::exception_ptr &error) const;
    template<typename Event>
    void send(Event event) const;
    // "Cannot <operation>: recording state: <state>".
    std::exception_ptr refusal(const char *operation) const;
    // Every failure of an operation goes the same way: reported, sent as its event, thrown to the caller.
    template<typename FailedEvent>
    [[noreturn]] void fail(const std::exception_ptr &error, FailedEvent event) const;

    platform::Clock &m_clock;
    platform::SettingsStore &m_settings;
    RecordingHandOff &m_handOff;
    const analytics::AnalyticsManager *m_analytics;
    platform::ErrorTracker *m_errorTracker;
    Options m_options;
    std::shared_ptr<IAudioRecorder> m_webViewRecorder;
    AudioRecorderManagerDelegate *m_delegate = nullptr;
    RecordingPresenter *m_presenter = nullptr;

    AudioRecordingState m_state = AudioRecordingState::Stopped;
    bool m_hasDisplayedRecordingPopover = false;
    qint64 m_recordingDuration = 0;
    double m_maxRecordingDuration = kMaximumRecordingSeconds;
    QDateTime m_constructed;
    quint64 m_lastRecordingId = 0;
    // The current recording, or the last one once stopped.
    std::shared_ptr<Recording> m_recording;
    OperationTurns m_turns;
};

} // namespace brelta::recording
