#include "recording/recorders/MicrophoneCapture.h"

#include "recording/recorders/RecorderErrors.h"

#include <QCoroSignal>

namespace brelta::recording {

using platform::AudioCapture;

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
    auto firstAudio = qCoro(capture, &AudioCapture::audioArrived, firstAudioTimeout);
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
