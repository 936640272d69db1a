#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace brelta::platform {

// The last word on one 10 ms frame after the echo canceller: keep it, or blank it because what is left of
// it may still be the other side.
//
// While the reference (what the computer plays) carries sound, a frame is kept only if the cancelled frame
// stays within `keepWithinDb` of the microphone and the microphone is louder than the echo alone would make
// it: the user talking over the other side keeps most of their level, while a frame that was only echo drops
// far below it or, where the canceller still learns, stays at the echo's level. Until the canceller has shown
// that it works here (`convergedDb` removed on `convergedFrames` frames in a row that held echo), every frame
// with reference sound is blanked. Frames without reference sound are always kept.
class EchoGate
{
public:
    struct Thresholds
    {
        // A reference louder than this carries sound the microphone may pick up.
        double referenceSoundDbfs = -60;
        double keepWithinDb = 12;
        double convergedDb = 20;
        int convergedFrames = 50;
        // Microphone frames quieter than this hold too little echo to show what the canceller removes.
        double echoFloorDbfs = -50;
        // How much louder than the echo alone the microphone must be to hold the user's voice too.
        double nearEndMarginDb = 1.5;
    };
    // One frame's levels in dBFS: the microphone, the canceller's output, the loudest reference whose sound
    // this frame may hold as echo, and, once the echo's delay is known, the reference that is echoed right in
    // this frame.
    struct Levels
    {
        double microphone = -120;
        double cancelled = -120;
        double reference = -120;
        std::optional<double> echoed;
    };
    enum class Decision { Keep, Blank };

    EchoGate();
    explicit EchoGate(Thresholds thresholds);

    Decision decide(const Levels &levels);

    bool hasConverged() const { return m_convergedFrames >= m_thresholds.convergedFrames; }
    // After the canceller had to start over (the echo moved), it must show its removal again.
    void restartConvergence() { m_convergedFrames = 0; }
    // How much louder (positive) or quieter the echo is in the microphone than the reference it echoes, as
    // learnt on frames that held only echo; nothing before the first.
    std::optional<double> echoGainDb() const { return m_echoGainDb; }

private:
    Thresholds m_thresholds;
    int m_convergedFrames = 0;
    std::optional<double> m_echoGainDb;
};

struct EchoCancellerOptions
{
    // 8000, 16000, 32000 or 48000 Hz, for both streams and the output.
    int sampleRate = 16000;
    // How far the echo may trail the reference on the caller's timeline (the sound path plus whatever the two
    // captures' start times missed), and how far it may lead it (a microphone stamped late).
    std::chrono::milliseconds maxEchoLag{1000};
    std::chrono::milliseconds maxEchoLead{500};
    EchoGate::Thresholds gate;
    // Off only to measure what the canceller alone removes.
    bool useGate = true;
};

// Removes from the microphone what the computer played (the other side of a call coming out of the
// speakers), with WebRTC's acoustic echo canceller, then gates what may be left (EchoGate).
//
// The two streams share one timeline: sample n of the reference and sample n of the microphone were
// captured at about the same moment. The echo's delay on that timeline is found by cross-correlation and
// followed through the recording (clocks drift, captures restart); until it is known the canceller estimates
// it internally. Both streams are mono float samples in [-1, 1] at the options' rate; non-finite samples
// count as silence and louder ones are clipped.
//
// Output lags the input: a microphone frame is processed once the reference around its echo has arrived.
// Not thread-safe: one caller at a time (it may move between threads).
class EchoCanceller
{
public:
    struct Statistics
    {
        std::int64_t frames = 0;           // 10 ms frames processed
        std::int64_t blankedFrames = 0;    // of those, blanked by the gate
        std::optional<double> echoDelayMs; // the echo's lag behind the reference, once found
        int delayEstimates = 0;            // cross-correlations that found the echo
        bool converged = false;
    };

    // Throws std::invalid_argument for an unsupported rate or lag range, std::runtime_error when the audio
    // processing library cannot be set up.
    explicit EchoCanceller(EchoCancellerOptions options = {});
    ~EchoCanceller();
    EchoCanceller(const EchoCanceller &) = delete;
    EchoCanceller &operator=(const EchoCanceller &) = delete;

    // Append to the two streams. Throw std::logic_error after finish().
    void addReference(std::span<const float> samples);
    void addMicrophone(std::span<const float> samples);
    // Reference silence of `samples` samples (no output device, a gap in its capture).
    void addReferenceSilence(std::int64_t samples);
    // The streams may slip against each other from the reference's current end on (a capture restarted, the
    // recording resumed after a pause): the echo is looked for anew there, and the gate waits for the
    // canceller to show its removal again.
    void markBreak();

    // The cancelled microphone samples ready so far, in order; each call returns the ones after the last.
    std::vector<float> takeOutput();
    // Ends both streams: reference still missing counts as silence. Returns the rest of the output, so that
    // in all as many samples came out as went in.
    std::vector<float> finish();

    Statistics statistics() const;
    const EchoCancellerOptions &options() const;

    // Samples of the reference and the microphone taken so far.
    std::int64_t referenceSamples() const;
    std::int64_t microphoneSamples() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace brelta::platform
