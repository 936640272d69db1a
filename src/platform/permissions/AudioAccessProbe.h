#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

namespace brelta::platform {

struct AudioAccessProbeResult
{
    bool opened = false;
    // Why not, for the log.
    QString reason;
};

// Asks the sound server whether Brelta could record. A desktop has no per-program microphone permission:
// what counts is whether a record stream opens. Each probe answers within its limit.
class AudioAccessProbe
{
public:
    virtual ~AudioAccessProbe() = default;
    // A corked record stream on the default source. A monitor as default source is no microphone: it
    // would record the other side of a call as the user.
    virtual QCoro::Task<AudioAccessProbeResult> probeMicrophone(std::chrono::milliseconds limit) = 0;
    // A corked record stream on the monitor of the default sink (what the speakers play), kept there.
    virtual QCoro::Task<AudioAccessProbeResult> probeSystemAudio(std::chrono::milliseconds limit) = 0;
};

// The probes on the PulseAudio (or PipeWire-pulse) server; `serverAddress` empty = the usual one.
class PulseAudioAccessProbe final : public AudioAccessProbe
{
public:
    explicit PulseAudioAccessProbe(QString serverAddress = {}) : m_serverAddress(std::move(serverAddress)) {}

    QCoro::Task<AudioAccessProbeResult> probeMicrophone(std::chrono::milliseconds limit) override;
    QCoro::Task<AudioAccessProbeResult> probeSystemAudio(std::chrono::milliseconds limit) override;

private:
    QString m_serverAddress;
};

} // namespace brelta::platform
