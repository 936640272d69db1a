#pragma once

#include "platform/Clock.h"
#include "recording/vad/ISystemVoiceActivityDectector.h"
#include "recording/vad/SystemVoiceWorkQueue.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>

namespace brelta::platform {
class AudioCapture;
class ErrorTracker;
} // namespace brelta::platform

namespace brelta::recording {

class IVadProvider;

struct SystemVoiceActivityDetectorOptions
{
    // Pause between a dead capture and the attempt to start it again.
    std::chrono::milliseconds restartDelay{3000};
    // Length of each captured block.
    int blockMilliseconds = 30;
    // How long a capture start may wait for the sound server (a fresh server can take seconds).
    std::chrono::milliseconds startTimeout{5000};
    // Told how restarts after a dead capture went; none = only the log hears of them.
    platform::ErrorTracker *errorTracker = nullptr;
};

// Tells whether the sound the computer plays, typically the other side of a video call, currently carries a
// voice.
//
// Listens to the monitor of the sound server's default output (the system audio) and follows the default
// output when the user switches it, for example to a headset mid-call. Each captured block is converted to
// 8000 Hz 16-bit mono and fed to the voice-activity provider on a worker thread of the detector's own; the
// provider's flag reaches the delegate on the main thread. When the capture dies while running (the server
// restarted, the stream was killed), the detector tries once to start it again after a short pause, and
// reports detectorDidFail() if that does not work.
//
// stop() and the destructor cancel a capture still opening (for a start, a restart or a new default output):
// its stream closes at once, and the coroutine opening it, which owns everything it touches, unwinds on its
// own. The detector can therefore be dropped as soon as stop() returns.
//
// Lives on the main thread.
class SystemVoiceActivityDetector final : public QObject, public ISystemVoiceActivityDectector
{
    Q_OBJECT

public:
    using Options = SystemVoiceActivityDetectorOptions;

    // `clock` times the restart; nullptr = the system clock. The detector owns `vad`.
    explicit SystemVoiceActivityDetector(std::unique_ptr<IVadProvider> vad, platform::Clock *clock = nullptr,
                                         Options options = {}, QObject *parent = nullptr);
    ~SystemVoiceActivityDetector() override;

    bool isRunning() const override { return m_running; }
    SystemVoiceActivityDectectorDelegate *delegate() const override { return m_delegate; }
    void setDelegate(SystemVoiceActivityDectectorDelegate *delegate) override { m_delegate = delegate; }

    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;

    // The flag as last taken from the provider (written on the worker thread).
    bool hasVoiceActivity() const { return m_hasVoiceActivity.load(); }
    // The source listened to: the default output's monitor; empty when not running.
    QString captureSourceName() const;
    // True while a restart after a dead capture is pending.
    bool isRestartPending() const;

signals:
    // The capture moved to the monitor of a new default output.
    void captureSourceChanged(const QString &sourceName);
    // A restart after a dead capture ran; `succeeded` tells how it went.
    void restartFinished(bool succeeded);

private:
    struct Analysis;
    class Opening;

    // What a capture being opened ends as; `cancelled` when stop() or the destructor cut it short (the capture
    // is then closed already, and the detector may be gone).
    struct Opened
    {
        std::unique_ptr<platform::AudioCapture> capture;
        std::exception_ptr failure;
        bool cancelled = false;
    };
    // Opens a capture of the system audio, attached to this detector, and keeps it as m_opening until it is
    // done. Throws nothing: the outcome says how it went.
    QCoro::Task<Opened> openCapture();
    static QCoro::Task<std::unique_ptr<platform::AudioCapture>> openSystemAudio(std::shared_ptr<Opening> opening,
                                                                                Options options);
    void cancelOpening();
    void attach(platform::AudioCapture *capture);
    void handleCaptureDied(platform::AudioCapture *capture, const QString &message);
    void handleDefaultSinkChanged(platform::AudioCapture *capture, const QString &sinkName);
    QCoro::Task<> followDefaultSink();
    QCoro::Task<> restart();
    void publishVoiceActivity();

    std::unique_ptr<platform::Clock> m_ownClock;
    platform::Clock *m_clock;
    Options m_options;
    SystemVoiceActivityDectectorDelegate *m_delegate = nullptr;
    bool m_running = false;
    std::shared_ptr<Opening> m_opening; // the capture being opened, at most one at a time
    std::unique_ptr<platform::AudioCapture> m_capture;
    std::unique_ptr<platform::Timer> m_restartTimer;
    std::atomic<bool> m_hasVoiceActivity{false};
    bool m_publishedVoiceActivity = false;
    std::shared_ptr<Analysis> m_analysis;
    // Declared last so it is destroyed first: no job of the queue outlives the state it works on.
    SystemVoiceWorkQueue m_queue{QStringLiteral("SystemVoiceCancellationAudioRecorder.AudioBufferQueue")};
};

} // namespace brelta::recording
