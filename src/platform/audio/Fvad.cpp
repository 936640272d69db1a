#include "platform/audio/Fvad.h"

#include <QLoggingCategory>

#include <cmath>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <vector>

// libwebrtc-audio-processing exports the detector's C functions but installs no header for them, so the
// declarations of the symbols this library version really exports are written out here (checked against the
// exported symbols: Create returns the instance, Init must run before set_mode).
extern "C" {
struct WebRtcVadInst;
WebRtcVadInst *WebRtcVad_Create(void);
void WebRtcVad_Free(WebRtcVadInst *handle);
int WebRtcVad_Init(WebRtcVadInst *handle);
int WebRtcVad_set_mode(WebRtcVadInst *handle, int mode);
int WebRtcVad_Process(WebRtcVadInst *handle, int fs, const int16_t *audio_frame, size_t frame_length);
int WebRtcVad_ValidRateAndFrameLength(int rate, size_t frame_length);
}

Q_LOGGING_CATEGORY(lcFvad, "brelta.platform.Fvad")

namespace brelta::platform {

struct Fvad::Handle
{
    WebRtcVadInst *instance;
};

void Fvad::HandleDeleter::operator()(Handle *handle) const
{
    if (handle)
        WebRtcVad_Free(handle->instance);
    delete handle;
}

Fvad::Fvad(std::unique_ptr<Handle, HandleDeleter> handle) : m_handle(std::move(handle)) {}

Fvad::~Fvad() = default;

namespace {

// Classifies `samples` in 30 ms frames at 8000 Hz and returns the share of frames heard as voice.
double voiceShare(Fvad &vad, const std::vector<std::int16_t> &samples)
{
    constexpr std::size_t frame = 240;
    int voice = 0;
    int frames = 0;
    for (std::size_t at = 0; at + frame <= samples.size(); at += frame, ++frames) {
        if (vad.process(std::span(samples).subspan(at, frame)) == Fvad::Result::Voice)
            ++voice;
    }
    return frames > 0 ? double(voice) / frames : 0.0;
}

QString runSelfCheck(Fvad &vad)
{
    if (!vad.setMode(3) || !vad.setSampleRate(8000))
        return QStringLiteral("the detector refuses mode 3 at 8000 Hz");

    // One second of silence first: the detector adapts its noise model, and must not hear a voice.
    const std::vector<std::int16_t> silence(8000, 0);
    if (const double share = voiceShare(vad, silence); share > 0.0)
        return QStringLiteral("the detector hears a voice in silence (%1% of frames)").arg(share * 100, 0, 'f', 0);

    // A voice-like buzz: 150 Hz fundamental with falling harmonics up to 3 kHz.
    std::vector<std::int16_t> buzz(8000);
    for (std::size_t i = 0; i < buzz.size(); ++i) {
        double value = 0;
        for (int harmonic = 1; harmonic * 150 < 3000; ++harmonic)
            value += std::sin(2 * std::numbers::pi * 150 * harmonic * double(i) / 8000) / harmonic;
        buzz[i] = std::int16_t(std::lround(value * 6000));
    }
    if (const double share = voiceShare(vad, buzz); share < 0.5)
        return QStringLiteral("the detector misses a voice-like tone (%1% of frames)").arg(share * 100, 0, 'f', 0);

    const std::vector<std::int16_t> wrongLength(100, 0);
    if (vad.process(wrongLength) != Fvad::Result::Error)
        return QStringLiteral("the detector accepts a frame of invalid length");
    return {};
}

} // namespace

std::unique_ptr<Fvad> Fvad::create()
{
    if (const QString problem = selfCheck(); !problem.isEmpty())
        throw std::runtime_error("WebRTC voice detector failed its start-up check: " + problem.toStdString());
    WebRtcVadInst *instance = WebRtcVad_Create();
    if (!instance)
        throw std::runtime_error("cannot create a WebRTC voice detector (out of memory)");
    std::unique_ptr<Handle, HandleDeleter> handle(new Handle{instance});
    if (WebRtcVad_Init(instance) != 0)
        throw std::runtime_error("cannot initialise a WebRTC voice detector");
    return std::unique_ptr<Fvad>(new Fvad(std::move(handle)));
}

QString Fvad::selfCheck()
{
    static std::once_flag once;
    static QString problem;
    std::call_once(once, [] {
        WebRtcVadInst *instance = WebRtcVad_Create();
        if (!instance || WebRtcVad_Init(instance) != 0) {
            if (instance)
                WebRtcVad_Free(instance);
            problem = QStringLiteral("the library cannot make a detector");
        } else {
            Fvad vad(std::unique_ptr<Handle, HandleDeleter>(new Handle{instance}));
            problem = runSelfCheck(vad);
        }
        if (problem.isEmpty())
            qCDebug(lcFvad) << "start-up check passed";
        else
            qCCritical(lcFvad).noquote() << "start-up check failed:" << problem;
    });
    return problem;
}

bool Fvad::setMode(int mode)
{
    return WebRtcVad_set_mode(m_handle->instance, mode) == 0;
}

bool Fvad::setSampleRate(int sampleRate)
{
    // The library takes the rate with every frame; check it here so a bad rate fails where it is set.
    if (WebRtcVad_ValidRateAndFrameLength(sampleRate, std::size_t(sampleRate / 100)) != 0)
        return false;
    m_sampleRate = sampleRate;
    return true;
}

Fvad::Result Fvad::process(std::span<const std::int16_t> frame)
{
    const int result = WebRtcVad_Process(m_handle->instance, m_sampleRate, frame.data(), frame.size());
    if (result < 0)
        return Result::Error;
    return result > 0 ? Result::Voice : Result::NoVoice;
}

} // namespace brelta::platform
