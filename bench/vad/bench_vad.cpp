// Cost of voice-activity detection per 30 ms frame at 8000 Hz: the WebRTC detector called directly, and the
// provider around it (frame cutting, the serialised call into the detector, smoothing), and their ratio.
// Prints figures beside their reference; never fails on speed.
#include "platform/audio/Fvad.h"
#include "recording/vad/VadProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

using brelta::platform::Fvad;
using brelta::platform::PcmBuffer;
using brelta::recording::WebRtcVadProviderProvider;

namespace {

// `seconds` of 8 kHz audio: one second of a voice-like buzz, one of faint noise, alternating.
std::vector<std::int16_t> signal(int seconds)
{
    std::vector<std::int16_t> samples(std::size_t(seconds) * 8000);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 60);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        double value = noise(random);
        if ((i / 8000) % 2 == 0) {
            for (int harmonic = 1; harmonic * 140 < 3500; ++harmonic)
                value += 5000 * std::sin(2 * std::numbers::pi * 140 * harmonic * double(i) / 8000) / harmonic;
        }
        samples[i] = std::int16_t(std::clamp(value, -32768.0, 32767.0));
    }
    return samples;
}

// Microseconds per frame.
double report(const char *what, double seconds, std::size_t frames, double audioSeconds)
{
    const double perFrame = seconds * 1e6 / double(frames);
    std::printf("%-34s %10.2f us/frame   real-time factor %.5f   (budget: 30000 us/frame, factor 1)\n", what, perFrame,
                seconds / audioSeconds);
    return perFrame;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const std::vector<std::int16_t> samples = signal(seconds);
    const std::size_t frames = samples.size() / 240;
    std::printf("voice-activity detection over %d s of 8 kHz audio (%zu frames of 30 ms)\n", seconds, frames);

    auto vad = Fvad::create();
    vad->setMode(3);
    vad->setSampleRate(8000);
    // Buffers as the system-audio detector hands them over: 30 ms blocks.
    WebRtcVadProviderProvider provider;
    std::vector<PcmBuffer> buffers;
    for (std::size_t at = 0; at < samples.size(); at += 240) {
        PcmBuffer buffer(WebRtcVadProviderProvider::format(), 240);
        buffer.setFrameLength(240);
        std::copy_n(samples.begin() + std::ptrdiff_t(at), 240, buffer.int16Channel(0).begin());
        buffers.push_back(std::move(buffer));
    }

    // Rounds of each in turn, the fastest of each counted: on a shared machine the slower rounds measure the
    // neighbours.
    constexpr int rounds = 7;
    double rawSeconds = 1e9, providerSeconds = 1e9;
    int voice = 0, switches = 0;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        voice = 0;
        timer.start();
        for (std::size_t k = 0; k < frames; ++k)
            voice += vad->process(std::span(samples).subspan(k * 240, 240)) == Fvad::Result::Voice ? 1 : 0;
        rawSeconds = std::min(rawSeconds, double(timer.nsecsElapsed()) / 1e9);

        switches = 0;
        bool flag = provider.hasVoice();
        timer.restart();
        for (const PcmBuffer &buffer : buffers) {
            provider.processBuffer(buffer);
            switches += provider.hasVoice() != flag ? 1 : 0;
            flag = provider.hasVoice();
        }
        providerSeconds = std::min(providerSeconds, double(timer.nsecsElapsed()) / 1e9);
    }
    const double raw = report("WebRTC detector, direct", rawSeconds, frames, seconds);
    const double provided = report("provider", providerSeconds, frames, seconds);
    std::printf("provider / raw detector: %.2fx   (target: <= 1.5x; fastest of %d rounds each)\n", provided / raw,
                rounds);
    std::printf("(voice frames: %d of %zu; flag switches: %d)\n", voice, frames, switches);
    return 0;
}
