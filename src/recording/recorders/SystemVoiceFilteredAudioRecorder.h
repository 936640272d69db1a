#pragma once

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioCapture.h"
#include "recording/recorders/IAudioRecorder.h"
#include "recording/recorders/MicrophoneCapture.h"
#include "recording/vad/ISystemVoiceActivityDectector.h"
#include "recording/vad/SystemVoiceWorkQueue.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

namespace brelta::platform {
class ErrorTracker;
}

namespace brelta::recording {

// Makes a new system-voice detector for each recording.
using SystemVoiceDetectorFactory = std::function<std::unique_ptr<ISystemVoiceActivityDectector>()>;

// Records the microphone while leaving out the other side of a call: 16 kHz mono AAC in an MPEG-4 file, with
// silence written in place of the microphone while the system audio carries a voice.
//
// The microphone arrives in blocks of 300 ms; a worker thread of the recorder's own runs each block through
// SystemVoiceFilter (one block late, so the block before a detected voice is silenced too) into the writer.
// The file is fragmented while recording, so it stays playable whatever happens, and is completed by stop().
//
// The microphone stream stays on the source it opened. When that source goes away (a headset unplugged) the
// recorder reopens the stream on the server's default source and the file continues. Recording the default
// source, it also moves to the one the user picks as the default input, paused or not. A monitor source (what
// an output plays) is never taken for the microphone, nor followed when picked: it would record the very
// voice this recorder leaves out. When there is no microphone left to open, the detector gives up (the
// recorder then stops itself first: without it the other side would reach the file) or the file cannot take
// more audio (a full disk), the delegate is told, once.
class SystemVoiceFilteredAudioRecorder final : public QObject,
                                               public IAudioRecorder,
                                               public SystemVoiceActivityDectectorDelegate
{
    Q_OBJECT

public:
    struct Options
    {
        // 300 ms blocks, 16 kHz mono, as the file holds them: the sound server does the conversion.
        platform::AudioCaptureOptions capture = microphoneCaptureOptions({platform::SampleType::Float32, 16000, 1});
        platform::AacEncoding encoding{16000, 1, 32000};
        // How long a start waits for the microphone's first audio.
        std::chrono::milliseconds firstAudioTimeout{8000};
        // Told when the microphone cannot be reopened; none = only the log and the delegate hear of it.
        platform::ErrorTracker *errorTracker = nullptr;
    };

    explicit SystemVoiceFilteredAudioRecorder(SystemVoiceDetectorFactory systemVadProvider, QObject *parent = nullptr);
    SystemVoiceFilteredAudioRecorder(SystemVoiceDetectorFactory systemVadProvider, Options options,
                                     QObject *parent = nullptr);
    // Dropped while recording: the streams close and the file stays fragmented but playable up to then.
    ~SystemVoiceFilteredAudioRecorder() override;

    AudioRecordingState recordingState() const override { return m_state; }
    AudioRecorderDelegate *delegate() const override { return m_delegate; }
    void setDelegate(AudioRecorderDelegate *delegate) override { m_delegate = delegate; }

    QCoro::Task<> start(QUrl url) override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;

    void voiceActivityDidChange(bool hasVoice) override;
    void detectorDidFail(std::exception_ptr error) override;

    // The detector's last published flag: while true, the microphone is written as silence.
    bool hasVoiceActivity() const { return m_hasVoiceActivity.load(); }
    // The source the microphone stream records from; empty when none is open.
    QString microphoneSourceName() const;

Q_SIGNALS:
    // The microphone stream was reopened after its source went away or the default input changed
    // (`succeeded`), or could not be.
    void microphoneReopened(bool succeeded);
    // Internal: a stop has completed the file (or failed to).
    void stopFinished();

private:
    struct FileSide;

    // Opens the microphone (attached to this recorder) and returns it once its audio flows; touches nothing
    // of the recorder after its first await but m_openingMicrophone, which stop() uses to cancel it.
    QCoro::Task<std::unique_ptr<platform::AudioCapture>> openMicrophone(bool paused);
    void cancelOpeningMicrophone();
    void attach(platform::AudioCapture *capture);
    void enqueueBlock(const platform::PcmBuffer &block);
    void handleMicrophoneDied(platform::AudioCapture *capture, const QString &message);
    QCoro::Task<> followDefaultSource(platform::AudioCapture *capture, QString sourceName);
    QCoro::Task<> reopenMicrophone();
    void handleWriteFailure(const QString &message);
    void closeMicrophone();
    QCoro::Task<> stopDetector();
    void reportFailure(std::exception_ptr error);

    SystemVoiceDetectorFactory m_systemVadProvider;
    Options m_options;
    AudioRecordingState m_state = AudioRecordingState::Stopped;
    AudioRecorderDelegate *m_delegate = nullptr;
    std::atomic<bool> m_hasVoiceActivity{false};
    bool m_busy = false; // an operation is between its awaits
    bool m_reopening = false;
    bool m_stopping = false;
    bool m_failureReported = false;
    // Counts recordings: every start and stop begins a new one, and work begun for an older one (a microphone
    // reopening) leaves the new one alone.
    quint64 m_recordingNumber = 0;

    std::unique_ptr<ISystemVoiceActivityDectector> m_systemVad;
    std::unique_ptr<platform::AudioCapture> m_microphone;
    QPointer<platform::AudioCapture> m_openingMicrophone; // owned by the coroutine opening it
    std::shared_ptr<FileSide> m_file;                     // shared with the jobs of the queue
    // Declared last so it is destroyed first: it runs every queued job before the state they use goes.
    SystemVoiceWorkQueue m_queue{QStringLiteral("SystemVoiceFilteredAudioRecorder.Microphone")};
};

} // namespace brelta::recording
