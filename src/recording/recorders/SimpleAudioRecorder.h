#pragma once

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/AudioCapture.h"
#include "recording/recorders/IAudioRecorder.h"
#include "recording/recorders/MicrophoneCapture.h"
#include "recording/vad/SystemVoiceWorkQueue.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

namespace brelta::recording {

// Records the microphone straight into an AAC file (44.1 kHz mono, 32 kbit/s, MPEG-4).
//
// Audio comes from a PulseAudio record stream in blocks of 300 ms and is encoded on a writer thread of the
// recorder's own, which also creates, completes and discards the file: the main thread never waits for the
// disk. While recording, the file is fragmented and flushed every second, so a crash leaves it playable;
// stop() rewrites it as a plain MPEG-4 file.
//
// Refusals: a start while recording ("recorder already started") or paused (refused rather than replacing
// the paused recording), a stop while stopped ("recorder already stopped"). A start that fails leaves no
// stream, no encoder and no file behind. pause() and resume() without a running recording change nothing.
// When the recording ends on its own (the source vanished, the disk filled up) the file is completed and
// the delegate is told; the state stays until the session's stop(), which then returns at once.
//
// Lives on the main thread. Dropped while it starts, it closes the stream it was opening and leaves no file.
class SimpleAudioRecorder final : public QObject, public IAudioRecorder
{
    Q_OBJECT

public:
    struct Options
    {
        // Where and how to record: the default source, 16-bit mono 44.1 kHz, blocks of 300 ms.
        platform::AudioCaptureOptions capture = microphoneCaptureOptions({platform::SampleType::Int16, 44100, 1});
        platform::AacEncoding encoding{44100, 1, 32000};
        // How long start() waits for the first audio before it gives up.
        std::chrono::milliseconds firstAudioTimeout{8000};
    };

    explicit SimpleAudioRecorder(QObject *parent = nullptr);
    explicit SimpleAudioRecorder(Options options, QObject *parent = nullptr);
    // Dropped while recording: the stream closes and the file stays fragmented but complete up to then.
    ~SimpleAudioRecorder() override;

    AudioRecordingState recordingState() const override { return m_state; }
    AudioRecorderDelegate *delegate() const override { return m_delegate; }
    void setDelegate(AudioRecorderDelegate *delegate) override { m_delegate = delegate; }

    QCoro::Task<> start(QUrl url) override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;

private:
    void writeBlock(const std::shared_ptr<platform::AacFileWriter> &writer, const platform::PcmBuffer &block);
    void handleCaptureFailure(const QString &message);
    void handleWriteFailure(const QString &message);
    void endOnItsOwn();
    // Closes the stream and completes the file, once; later calls return the first answer (or retry a
    // completion that failed). True when the file is complete.
    QCoro::Task<bool> finishRecording();
    void closeCapture();

    Options m_options;
    AudioRecordingState m_state = AudioRecordingState::Stopped;
    AudioRecorderDelegate *m_delegate = nullptr;

    std::unique_ptr<platform::AudioCapture> m_capture;
    QPointer<platform::AudioCapture> m_openingCapture; // owned by a start() under way
    std::shared_ptr<platform::AacFileWriter> m_writer; // shared with jobs on the writer thread
    bool m_starting = false;
    bool m_finishing = false;       // finishRecording() in progress
    bool m_stopWaiting = false;     // a stop() waits for the finish
    std::optional<bool> m_finished; // the answer of the last finish
    // Declared last so it is destroyed first: it runs every queued job before the state they use goes.
    SystemVoiceWorkQueue m_writerQueue{QStringLiteral("SimpleAudioRecorder.Writer")};

Q_SIGNALS:
    // Internal: a finish in progress has ended.
    void finishEnded(bool complete);
};

} // namespace brelta::recording
