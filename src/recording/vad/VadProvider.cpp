#include "recording/vad/VadProvider.h"

#include "platform/audio/Fvad.h"

#include <QLoggingCategory>

#include <cstdio>

Q_LOGGING_CATEGORY(lcVadProvider, "brelta.recording.WebRtcVadProviderProvider")

namespace brelta::recording {

using platform::Fvad;
using platform::PcmBuffer;
using platform::PcmFormat;
using platform::SampleType;

namespace {

void printSetting(const char *what, int value, bool success)
{
    std::printf("webrtcvad: set %s %d, success: %s\n", what, value, success ? "true" : "false");
    std::fflush(stdout);
}

} // namespace

WebRtcVad::WebRtcVad() : m_fvad(Fvad::create())
{
    Fvad *fvad = m_fvad.get();
    m_classifier = [fvad](std::span<const std::int16_t> frame) { return int(fvad->process(frame)); };
}

WebRtcVad::WebRtcVad(Classifier classifier) : m_classifier(std::move(classifier)) {}

bool WebRtcVad::configure(std::optional<int> mode, std::optional<int> sampleRate)
{
    const std::lock_guard lock(m_busy);
    bool success = true;
    if (mode) {
        const bool accepted = !m_fvad || m_fvad->setMode(*mode);
        printSetting("mode", *mode, accepted);
        success = success && accepted;
    }
    if (sampleRate) {
        const bool accepted = !m_fvad || m_fvad->setSampleRate(*sampleRate);
        printSetting("sample rate", *sampleRate, accepted);
        success = success && accepted;
    }
    if (!success)
        qCCritical(lcVadProvider) << "invalid settings";
    return success;
}

int WebRtcVad::process(std::span<const std::int16_t> frame, std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_busy, std::defer_lock);
    if (!lock.try_lock_for(wait))
        return -1;
    const int result = m_classifier(frame);
    if (result == -1)
        qCCritical(lcVadProvider) << "vad result is -1; vad receive invalid frame length";
    return result;
}

const PcmFormat &WebRtcVadProviderProvider::format()
{
    static const PcmFormat providerFormat{SampleType::Int16, sampleRate, 1};
    return providerFormat;
}

WebRtcVadProviderProvider::WebRtcVadProviderProvider() : WebRtcVadProviderProvider(std::make_shared<WebRtcVad>()) {}

WebRtcVadProviderProvider::WebRtcVadProviderProvider(std::shared_ptr<WebRtcVad> vad,
                                                     std::chrono::milliseconds frameWait)
    : m_vad(std::move(vad))
    , m_frameWait(frameWait)
{
    // Before any frame, so every classification runs with these settings; a refusal is logged.
    m_vad->configure(3, sampleRate);
}

void WebRtcVadProviderProvider::processBuffer(const PcmBuffer &buffer)
{
    if (buffer.format() != format())
        throw std::invalid_argument("the voice-activity provider takes 16-bit mono audio at 8000 Hz");
    // Frames are classified straight from the buffer; only a frame split across buffers is copied. The
    // calling thread may wait m_frameWait per frame for a busy detector, never longer.
    std::span<const std::int16_t> incoming = buffer.int16Channel(0).first(buffer.frameLength());
    if (m_pendingCount > 0) {
        const std::size_t taken = std::min<std::size_t>(frameSamples - m_pendingCount, incoming.size());
        std::copy_n(incoming.begin(), taken, m_pending.begin() + m_pendingCount);
        m_pendingCount += std::uint32_t(taken);
        incoming = incoming.subspan(taken);
        if (m_pendingCount < frameSamples)
            return;
        m_smoother.add(m_vad->process(m_pending, m_frameWait));
        m_pendingCount = 0;
    }
    for (; incoming.size() >= frameSamples; incoming = incoming.subspan(frameSamples))
        m_smoother.add(m_vad->process(incoming.first(frameSamples), m_frameWait));
    std::copy(incoming.begin(), incoming.end(), m_pending.begin());
    m_pendingCount = std::uint32_t(incoming.size());
}

} // namespace brelta::recording
