#pragma once

#include "platform/audio/PcmBuffer.h"
#include "recording/vad/VoiceFlagSmoother.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace brelta::platform {
class Fvad;
}

namespace brelta::recording {

// Turns a stream of audio into one steady flag: is a voice present?
class IVadProvider
{
public:
    virtual ~IVadProvider() = default;

    // The smoothed voice flag.
    virtual bool hasVoice() const = 0;
    // Samples received but not classified yet (always fewer than one frame after processBuffer returns).
    virtual std::uint32_t pendingSampleCount() const = 0;
    // Feeds a buffer of any length in the provider's format (16-bit mono 8000 Hz); read hasVoice() after it
    // returns. A buffer in another format throws std::invalid_argument and changes nothing.
    virtual void processBuffer(const platform::PcmBuffer &buffer) = 0;
};

// The WebRTC detector, serialised: configuration and classifications run one at a time, each on the thread
// that asks for it. The system-audio detector asks from the worker that already converts the audio, so a
// frame costs no hop to another thread; a caller that finds the detector busy waits for it only as long as
// it says.
class WebRtcVad
{
public:
    // Classifies one frame: 1 voice, 0 no voice, -1 rejected.
    using Classifier = std::function<int(std::span<const std::int16_t> frame)>;

    // Owns a new library instance. Throws std::runtime_error when the library cannot make one or fails its
    // start-up check.
    WebRtcVad();
    // Classifies with `classifier` instead of the library (for tests and benchmarks); configure() then
    // only reports success.
    explicit WebRtcVad(Classifier classifier);
    WebRtcVad(const WebRtcVad &) = delete;
    WebRtcVad &operator=(const WebRtcVad &) = delete;

    // Sets the given settings and prints one line per setting to the standard output ("webrtcvad: set mode 3,
    // success: true"). True when every given setting was accepted.
    bool configure(std::optional<int> mode, std::optional<int> sampleRate);
    // Classifies a frame of 240 samples (30 ms at 8000 Hz): 1 voice, 0 no voice, -1 rejected, and -1 too
    // when another caller keeps the detector longer than `wait`.
    int process(std::span<const std::int16_t> frame, std::chrono::milliseconds wait);

private:
    std::unique_ptr<platform::Fvad> m_fvad;
    Classifier m_classifier;
    std::timed_mutex m_busy;
};

// The voice-activity provider over the WebRTC detector: cuts 8000 Hz audio into 30 ms frames, classifies each
// on the calling thread (waiting at most `frameWait` for a busy detector; a frame that cannot have it counts
// as undecided) and smooths the results (VoiceFlagSmoother). Used from one thread at a time.
class WebRtcVadProviderProvider final : public IVadProvider
{
public:
    static constexpr int sampleRate = 8000;
    static constexpr int frameMilliseconds = 30;
    static constexpr std::uint32_t frameSamples = sampleRate * frameMilliseconds / 1000; // 240
    static constexpr std::chrono::milliseconds defaultFrameWait{100};

    // 16-bit signed integer, 8000 Hz, mono.
    static const platform::PcmFormat &format();

    // A new detector, configured to mode 3 (the most aggressive) at 8000 Hz. Throws std::runtime_error when
    // the library cannot make a detector.
    WebRtcVadProviderProvider();
    // Uses `vad`, configuring it the same way.
    explicit WebRtcVadProviderProvider(std::shared_ptr<WebRtcVad> vad,
                                       std::chrono::milliseconds frameWait = defaultFrameWait);

    bool hasVoice() const override { return m_smoother.hasVoice(); }
    std::uint32_t pendingSampleCount() const override { return m_pendingCount; }
    void processBuffer(const platform::PcmBuffer &buffer) override;

    // The recent frame results, oldest first (at most 12; emptied at each switch of the flag).
    const std::deque<int> &recentResults() const { return m_smoother.history(); }

private:
    std::shared_ptr<WebRtcVad> m_vad;
    std::chrono::milliseconds m_frameWait;
    VoiceFlagSmoother m_smoother;
    // The start of a frame that the next buffer completes.
    std::array<std::int16_t, frameSamples> m_pending{};
    std::uint32_t m_pendingCount = 0;
};

} // namespace brelta::recording
