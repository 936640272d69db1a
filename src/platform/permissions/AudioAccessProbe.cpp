#include "platform/permissions/AudioAccessProbe.h"

#include "platform/audio/AudioCapture.h"

#include <optional>

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

namespace {

// The server's defaults, or why there are none.
struct ServerAnswer
{
    std::optional<AudioServerInfo> info;
    QString reason;
};

QCoro::Task<ServerAnswer> askServer(QString serverAddress, std::chrono::milliseconds stepLimit)
{
    try {
        QCoro::Task<AudioServerInfo> query = AudioCapture::queryServer(serverAddress, stepLimit);
        AudioServerInfo info = co_await std::move(query);
        co_return ServerAnswer{std::move(info), {}};
    } catch (const AudioCaptureError &error) {
        co_return ServerAnswer{std::nullopt, QString::fromStdString(error.what())};
    }
}

} // namespace

QCoro::Task<AudioAccessProbeResult> PulseAudioAccessProbe::probeMicrophone(std::chrono::milliseconds limit)
{
    const QString serverAddress = m_serverAddress;
    QCoro::Task<ServerAnswer> asking = askServer(serverAddress, stepTimeout(limit));
    const ServerAnswer answer = co_await std::move(asking);
    if (!answer.info)
        co_return AudioAccessProbeResult{false, answer.reason};
    if (answer.info->defaultSourceName.isEmpty())
        co_return AudioAccessProbeResult{false, QStringLiteral("the sound server has no default source")};
    if (answer.info->defaultSourceIsMonitor)
        co_return AudioAccessProbeResult{false,
                                         QStringLiteral("the default source %1 records an output, not a microphone")
                                             .arg(answer.info->defaultSourceName)};
    QCoro::Task<AudioAccessProbeResult> opening =
        openCorkedStream(serverAddress, answer.info->defaultSourceName, stepTimeout(limit));
    co_return co_await std::move(opening);
}

QCoro::Task<AudioAccessProbeResult> PulseAudioAccessProbe::probeSystemAudio(std::chrono::milliseconds limit)
{
    const QString serverAddress = m_serverAddress;
    QCoro::Task<ServerAnswer> asking = askServer(serverAddress, stepTimeout(limit));
    const ServerAnswer answer = co_await std::move(asking);
    if (!answer.info)
        co_return AudioAccessProbeResult{false, answer.reason};
    if (answer.info->defaultSinkName.isEmpty())
        co_return AudioAccessProbeResult{false, QStringLiteral("the sound server has no default sink")};
    QCoro::Task<AudioAccessProbeResult> opening =
        openCorkedStream(serverAddress, answer.info->defaultSinkName + QStringLiteral(".monitor"), stepTimeout(limit));
    co_return co_await std::move(opening);
}

} // namespace brelta::platform
