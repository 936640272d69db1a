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

// Runs `job` on `executor` and hands its answer over through a future. A caller that stops waiting simply
// drops the future: the late answer lands in a shared state nobody reads.
template<typename T, typename Job>
std::future<T> runOn(QThreadPool &executor, Job job)
{
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> future = promise->get_future();
    executor.start([promise, job = std::move(job)]() mutable {
        try {
            promise->set_value(job());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
    return future;
}

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
    m_executor.setMaxThreadCount(1);
    m_executor.setExpiryTimeout(-1); // frames arrive every 30 ms: keep the thread
}

WebRtcVad::WebRtcVad(Classifier classifier) : m_classifier(std::move(classifier))
{
    m_executor.setMaxThreadCount(1);
    m_executor.setExpiryTimeout(-1);
}

WebRtcVad::~WebRtcVad()
{
    m_executor.waitForDone();
}

std::future<bool> WebRtcVad::configure(std::optional<int> mode, std::optional<int> sampleRate)
{
    Fvad *fvad = m_fvad.get();
    return runOn<bool>(m_executor, [fvad, mode, sampleRate] {
        bool success = true;
        if (mode) {
            const bool accepted = !fvad || fvad->setMode(*mode);
            printSetting("mode", *mode, accepted);
            success = success && accepted;
        }
        if (sampleRate) {
            const bool accepted = !fvad || fvad->setSampleRate(*sampleRate);
            printSetting("sample rate", *sampleRate, accepted);
            success = success && accepted;
        }
        if (!success)
            qCCritical(lcVadProvider) << "invalid settings";
        return success;
    });
}

std::future<int> WebRtcVad::process(std::vector<std::int16_t> frame)
{
    return runOn<int>(m_executor, [this, frame = std::move(frame)] {
        const int result = m_classifier(frame);
        if (result == -1)
            qCCritical(lcVadProvider) << "vad result is -1; vad receive invalid frame length";
        return result;
    });
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
    , m_pending(format(), 0)
{
    // Queued before any frame, so every classification runs with these settings.
    m_vad->configure(3, sampleRate);
}

int WebRtcVadProviderProvider::classify(std::vector<std::int16_t> frame)
{
    std::future<int> answer = m_vad->process(std::move(frame));
    // The capture thread may wait this long per frame, never longer; a late answer is dropped with the future.
    if (answer.wait_for(m_frameWait) != std::future_status::ready)
        return -1;
    return answer.get();
}

void WebRtcVadProviderProvider::processBuffer(const PcmBuffer &buffer)
{
    if (buffer.format() != format())
        throw std::invalid_argument("the voice-activity provider takes 16-bit mono audio at 8000 Hz");
    PcmBuffer pending = platform::pcm::concat({m_pending, buffer});
    if (pending.frameLength() < frameSamples) {
        m_pending = std::move(pending);
        return;
    }
    auto [frames, rest] = platform::pcm::split(pending, pending.frameLength() / frameSamples * frameSamples);
    m_pending = std::move(rest);

    const std::span<const std::int16_t> samples = frames.int16Channel(0);
    for (std::uint32_t at = 0; at < frames.frameLength(); at += frameSamples) {
        const auto frame = samples.subspan(at, frameSamples);
        m_smoother.add(classify(std::vector<std::int16_t>(frame.begin(), frame.end())));
    }
}

} // namespace brelta::recording
