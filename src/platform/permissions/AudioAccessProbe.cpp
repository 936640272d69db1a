#include "platform/permissions/AudioAccessProbe.h"

#include "platform/audio/AudioCapture.h"

namespace brelta::platform {

namespace {

// The server is asked up to three times in a row (its defaults, then a connection and a stream of the
// capture); each wait gets a third of the limit, so the whole probe stays within it.
std::chrono::milliseconds stepTimeout(std::chrono::milliseconds limit)
{
    return std::max(limit / 3, std::chrono::milliseconds(1));
}

// Frame-owned: the parameters are copies.
QCoro::Task<AudioAccessProbeResult> openCorkedStream(QString serverAddress, QString sourceName,
                                                     std::chrono::milliseconds stepLimit)
{
    AudioCapture capture;
    AudioCaptureOptions options;
    options.serverAddress = serverAddress;
    options.sourceName = sourceName;
    options.startPaused = true;
    options.dontMove = true;
    options.format = PcmFormat{SampleType::Int16, 16000, 1};
    options.streamName = QStringLiteral("Brelta access check");
    options.timeout = stepLimit;
    try {
        QCoro::Task<> starting = capture.start(options);
        co_await std::move(starting);
    } catch (const AudioCaptureError &error) {
        co_return AudioAccessProbeResult{false, QString::fromStdString(error.what())};
    }
    capture.stop();
    co_return AudioAccessProbeResult{true, {}};
}

} // namespace

QCoro::Task<AudioAccessProbeResult> PulseAudioAccessProbe::probeMicrophone(std::chrono::milliseconds limit)
{
    const QString serverAddress = m_serverAddress;
    AudioServerInfo info;
    try {
        QCoro::Task<AudioServerInfo> query = AudioCapture::queryServer(serverAddress, stepTimeout(limit));
        info = co_await std::move(query);
    } catch (const AudioCaptureError &error) {
        co_return AudioAccessProbeResult{false, QString::fromStdString(error.what())};
    }
    if (info.defaultSourceName.isEmpty())
        co_return AudioAccessProbeResult{false, QStringLiteral("the sound server has no default source")};
    if (info.defaultSourceIsMonitor)
        co_return AudioAccessProbeResult{
            false,
            QStringLiteral("the default source %1 records an output, not a microphone").arg(info.defaultSourceName)};
    QCoro::Task<AudioAccessProbeResult> opening =
        openCorkedStream(serverAddress, info.defaultSourceName, stepTimeout(limit));
    co_return co_await std::move(opening);
}

QCoro::Task<AudioAccessProbeResult> PulseAudioAccessProbe::probeSystemAudio(std::chrono::milliseconds limit)
{
    const QString serverAddress = m_serverAddress;
    AudioServerInfo info;
    try {
        QCoro::Task<AudioServerInfo> query = AudioCapture::queryServer(serverAddress, stepTimeout(limit));
        info = co_await std::move(query);
    } catch (const AudioCaptureError &error) {
        co_return AudioAccessProbeResult{false, QString::fromStdString(error.what())};
    }
    if (info.defaultSinkName.isEmpty())
        co_return AudioAccessProbeResult{false, QStringLiteral("the sound server has no default sink")};
    QCoro::Task<AudioAccessProbeResult> opening =
        openCorkedStream(serverAddress, info.defaultSinkName + QStringLiteral(".monitor"), stepTimeout(limit));
    co_return co_await std::move(opening);
}

} // namespace brelta::platform
