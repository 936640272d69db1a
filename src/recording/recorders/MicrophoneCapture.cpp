#include "recording/recorders/MicrophoneCapture.h"

#include "recording/recorders/RecorderErrors.h"

#include <QCoroSignal>

namespace brelta::recording {

using platform::AudioCapture;

namespace {

// Ends the wait for a capture's first audio: the audio came, the stream died, or its owner stopped it.
class FirstAudioWait : public QObject
{
    Q_OBJECT

public:
    explicit FirstAudioWait(AudioCapture *capture)
    {
        connect(capture, &AudioCapture::audioArrived, this, &FirstAudioWait::settled);
        connect(capture, &AudioCapture::failed, this, &FirstAudioWait::settled);
        connect(capture, &AudioCapture::stopped, this, &FirstAudioWait::settled);
    }

Q_SIGNALS:
    void settled();
};

} // namespace

platform::AudioCaptureOptions microphoneCaptureOptions(platform::PcmFormat format)
{
    platform::AudioCaptureOptions capture;
    capture.format = format;
    capture.blockMilliseconds = 300;
    capture.streamName = QStringLiteral("Microphone recording");
    return capture;
}

QCoro::Task<> startMicrophoneCapture(AudioCapture *capture, platform::AudioCaptureOptions options,
                                     std::chrono::milliseconds firstAudioTimeout, bool paused)
{
    options.startPaused = true; // opened first, started only when everything is ready
    try {
        // Awaited tasks are built in statements of their own (CODING.md, "Coroutines").
        QCoro::Task<> opened = capture->start(options);
        co_await std::move(opened);
    } catch (const platform::AudioCaptureError &error) {
        throw AudioRecorderError(QStringLiteral("failed to prepare to record"), QString::fromUtf8(error.what()));
    }
    if (paused)
        co_return;

    const QString source = capture->recordingSourceName();
    // Owned by this frame: it outlives the wait whatever becomes of the capture's owner.
    const auto wait = std::make_unique<FirstAudioWait>(capture);
    auto firstAudio = qCoro(wait.get(), &FirstAudioWait::settled, firstAudioTimeout);
    if (!capture->resume()) {
        capture->stop();
        throw AudioRecorderError(QStringLiteral("failed to start recording"),
                                 QStringLiteral("the record stream on %1 closed").arg(source));
    }
    const auto arrived = co_await std::move(firstAudio);
    if (!capture->isRunning()) {
        capture->stop();
        throw AudioRecorderError(QStringLiteral("failed to start recording"),
                                 QStringLiteral("the record stream on %1 ended").arg(source));
    }
    if (!arrived) {
        capture->stop();
        throw AudioRecorderError(
            QStringLiteral("failed to start recording"),
            QStringLiteral("no audio from %1 within %2 ms").arg(source).arg(firstAudioTimeout.count()));
    }
}

} // namespace brelta::recording

#include "MicrophoneCapture.moc"
