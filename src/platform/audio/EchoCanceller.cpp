#include "platform/audio/EchoCanceller.h"

#include <QLoggingCategory>

// The library's headers are written for an older compiler and warn under ours.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <webrtc/modules/audio_processing/include/audio_processing.h>
#pragma GCC diagnostic pop

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <algorithm>
#include <cmath>
#include <deque>
#include <stdexcept>
#include <string>

Q_LOGGING_CATEGORY(lcEchoCanceller, "brelta.platform.EchoCanceller")

namespace brelta::platform {

namespace {

constexpr int kFrameMs = 10;
// The delay handed to the canceller sits this far below the measured one: a reference that reaches the
// canceller after its echo cannot be removed any more, one that arrives a little early costs nothing.
constexpr int kReportBelowMs = 30;
// Reported delays outside this range mean the reference fed to the canceller must be moved instead.
constexpr int kMaxReportedDelayMs = 400;
// After a move, the echo trails the reference by this much.
constexpr int kShiftTargetMs = 60;
// How long after the reference falls silent its echo may still ring in the room.
constexpr int kEchoTailMs = 100;
// Cross-correlation: at this rate, over this much microphone audio, about this often.
constexpr int kEstimationRate = 8000;
constexpr int kEstimationWindowMs = 1500;
constexpr int kEstimationEveryMs = 1000;
// Share of the window's reference frames that must carry sound, and the peak's height over the
// correlation's spread, for an estimate to count.
constexpr double kMinActiveShare = 0.25;
constexpr double kMinPeakRatio = 8.0;
// Estimates within this of the current delay are taken as drift; a larger jump must be seen twice.
constexpr double kDriftMs = 1.5;

double levelDbfs(std::span<const float> frame)
{
    double energy = 0;
    for (const float sample : frame)
        energy += double(sample) * sample;
    const double meanSquare = frame.empty() ? 0 : energy / double(frame.size());
    return 10 * std::log10(meanSquare + 1e-13);
}

// One stream's recent samples, addressed by their index on the shared timeline; outside what is held, the
// stream reads as silence.
struct Stream
{
    std::vector<float> samples;
    std::int64_t base = 0; // timeline index of samples[0]

    std::int64_t end() const { return base + std::int64_t(samples.size()); }

    void append(std::span<const float> input)
    {
        samples.reserve(samples.size() + input.size());
        for (const float sample : input)
            samples.push_back(std::isfinite(sample) ? std::clamp(sample, -1.0f, 1.0f) : 0.0f);
    }

    void copy(std::int64_t from, std::span<float> out) const
    {
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::int64_t at = from + std::int64_t(i);
            out[i] = (at >= base && at < end()) ? samples[std::size_t(at - base)] : 0.0f;
        }
    }

    // Forgets samples before `index`, in large steps so that appending stays cheap.
    void dropBefore(std::int64_t index, std::int64_t slack)
    {
        const std::int64_t drop = std::min(index - base, std::int64_t(samples.size()));
        if (drop <= slack)
            return;
        samples.erase(samples.begin(), samples.begin() + drop);
        base += drop;
    }
};

struct TxDeleter
{
    void operator()(AVTXContext *context) const { av_tx_uninit(&context); }
};
using Transform = std::unique_ptr<AVTXContext, TxDeleter>;

struct AvFree
{
    void operator()(float *memory) const { av_free(memory); }
};
using AlignedFloats = std::unique_ptr<float[], AvFree>;

AlignedFloats alignedFloats(int count)
{
    auto *memory = static_cast<float *>(av_malloc(sizeof(float) * std::size_t(count)));
    if (!memory)
        throw std::runtime_error("out of memory for the echo delay estimator");
    return AlignedFloats(memory);
}

// Finds how far the echo in the microphone trails the reference: a cross-correlation with phase transform
// (GCC-PHAT) on audio reduced to 8 kHz, whose peak stays sharp for speech, where a plain correlation smears
// over the voice's pitch period.
class DelayEstimator
{
public:
    DelayEstimator(int sampleRate, int maxLagMs, int maxLeadMs)
        : m_factor(sampleRate / kEstimationRate)
        , m_window(kEstimationRate * kEstimationWindowMs / 1000)
        , m_maxLag(kEstimationRate * maxLagMs / 1000)
        , m_maxLead(kEstimationRate * maxLeadMs / 1000)
    {
        m_size = 1;
        while (m_size < 2 * m_window + m_maxLag + m_maxLead)
            m_size *= 2;
        AVTXContext *forward = nullptr;
        AVTXContext *inverse = nullptr;
        const float one = 1.0f;
        const float inverseScale = 1.0f / float(m_size);
        int result = av_tx_init(&forward, &m_forwardFn, AV_TX_FLOAT_RDFT, 0, m_size, &one, 0);
        m_forward.reset(forward);
        if (result >= 0) {
            result = av_tx_init(&inverse, &m_inverseFn, AV_TX_FLOAT_RDFT, 1, m_size, &inverseScale, 0);
            m_inverse.reset(inverse);
        }
        if (result < 0)
            throw std::runtime_error("cannot set up the echo delay estimator's transform");
        m_micTime = alignedFloats(m_size + 2);
        m_refTime = alignedFloats(m_size + 2);
        m_micSpectrum = alignedFloats(m_size + 2);
        m_refSpectrum = alignedFloats(m_size + 2);
    }

    // Samples (at the stream rate) of microphone audio one estimate looks at, and the reference it needs
    // before and after that window.
    std::int64_t windowSamples() const { return std::int64_t(m_window) * m_factor; }
    std::int64_t lagSamples() const { return std::int64_t(m_maxLag) * m_factor; }
    std::int64_t leadSamples() const { return std::int64_t(m_maxLead) * m_factor; }

    // The lag in milliseconds of the echo in microphone[start, start + window) behind the reference, or
    // nothing when the correlation shows no clear peak.
    std::optional<double> estimate(const Stream &microphone, const Stream &reference, std::int64_t start)
    {
        const int refLength = m_window + m_maxLag + m_maxLead;
        decimate(microphone, start, m_window, m_micTime.get());
        decimate(reference, start - lagSamples(), refLength, m_refTime.get());
        std::fill(m_micTime.get() + m_window, m_micTime.get() + m_size + 2, 0.0f);
        std::fill(m_refTime.get() + refLength, m_refTime.get() + m_size + 2, 0.0f);

        m_forwardFn(m_forward.get(), m_micSpectrum.get(), m_micTime.get(), sizeof(float));
        m_forwardFn(m_forward.get(), m_refSpectrum.get(), m_refTime.get(), sizeof(float));
        // conj(mic) × ref, whitened: every frequency votes with its phase alone.
        float *mic = m_micSpectrum.get();
        float *ref = m_refSpectrum.get();
        for (int bin = 0; bin <= m_size / 2; ++bin) {
            const float re = mic[2 * bin] * ref[2 * bin] + mic[2 * bin + 1] * ref[2 * bin + 1];
            const float im = mic[2 * bin] * ref[2 * bin + 1] - mic[2 * bin + 1] * ref[2 * bin];
            const float magnitude = std::sqrt(re * re + im * im) + 1e-12f;
            ref[2 * bin] = re / magnitude;
            ref[2 * bin + 1] = im / magnitude;
        }
        float *correlation = m_refTime.get();
        m_inverseFn(m_inverse.get(), correlation, ref, sizeof(float));

        // correlation[m] pairs microphone sample i with reference sample i + m of the window, which lies
        // maxLag - m samples before it on the timeline.
        const int range = m_maxLag + m_maxLead;
        int best = 0;
        double energy = 0;
        for (int m = 0; m <= range; ++m) {
            energy += double(correlation[m]) * correlation[m];
            if (correlation[m] > correlation[best])
                best = m;
        }
        const double spread = std::sqrt(energy / (range + 1));
        if (spread <= 0 || correlation[best] / spread < kMinPeakRatio)
            return std::nullopt;
        return double(m_maxLag - best) * 1000.0 / kEstimationRate;
    }

private:
    // Averages groups of `m_factor` samples: a plain low-pass, enough for finding a delay.
    void decimate(const Stream &stream, std::int64_t from, int count, float *out) const
    {
        std::vector<float> group(std::size_t(m_factor), 0.0f);
        for (int i = 0; i < count; ++i) {
            stream.copy(from + std::int64_t(i) * m_factor, group);
            float sum = 0;
            for (const float sample : group)
                sum += sample;
            out[i] = sum / float(m_factor);
        }
    }

    int m_factor;
    int m_window;
    int m_maxLag;
    int m_maxLead;
    int m_size = 0;
    Transform m_forward;
    Transform m_inverse;
    av_tx_fn m_forwardFn = nullptr;
    av_tx_fn m_inverseFn = nullptr;
    AlignedFloats m_micTime;
    AlignedFloats m_refTime;
    AlignedFloats m_micSpectrum;
    AlignedFloats m_refSpectrum;
};

void configure(webrtc::Config &config, bool delayAgnostic)
{
    // The extended filter covers the long, unsteady paths of a desktop (speakers to microphone through two
    // sound-server streams); without it removal drops when the delay moves.
    config.Set<webrtc::ExtendedFilter>(new webrtc::ExtendedFilter(true));
    config.Set<webrtc::DelayAgnostic>(new webrtc::DelayAgnostic(delayAgnostic));
    config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
}

} // namespace

EchoGate::EchoGate() : EchoGate(Thresholds{}) {}

EchoGate::EchoGate(Thresholds thresholds) : m_thresholds(thresholds) {}

EchoGate::Decision EchoGate::decide(const Levels &levels)
{
    if (levels.reference <= m_thresholds.referenceSoundDbfs)
        return Decision::Keep;
    const double removed = levels.microphone - levels.cancelled;
    const bool heldEcho = levels.microphone >= m_thresholds.echoFloorDbfs;
    if (heldEcho && removed >= m_thresholds.convergedDb && levels.echoed) {
        // So much removed: the frame was echo alone, and shows how loud the echo is against the reference.
        const double gain = levels.microphone - *levels.echoed;
        m_echoGainDb = m_echoGainDb ? 0.9 * *m_echoGainDb + 0.1 * gain : gain;
    }
    // The frames that show convergence must follow one another (quiet frames aside): a canceller still
    // adapting reaches 20 dB on some frames long before it holds it.
    if (!hasConverged() && heldEcho)
        m_convergedFrames = removed >= m_thresholds.convergedDb ? m_convergedFrames + 1 : 0;
    if (!hasConverged())
        return Decision::Blank;
    if (std::abs(removed) > m_thresholds.keepWithinDb)
        return Decision::Blank;
    // Echo the canceller does not yet remove well also stays within reach of the microphone; only a
    // microphone louder than the echo alone holds the user.
    if (!levels.echoed || !m_echoGainDb)
        return Decision::Keep;
    const double echoAlone = *levels.echoed + *m_echoGainDb;
    return levels.microphone >= echoAlone + m_thresholds.nearEndMarginDb ? Decision::Keep : Decision::Blank;
}

struct EchoCanceller::State
{
    EchoCancellerOptions options;
    int frame = 0; // samples per 10 ms frame
    std::unique_ptr<webrtc::AudioProcessing> apm;
    webrtc::StreamConfig streamConfig;
    DelayEstimator estimator;
    EchoGate gate;

    Stream microphone;
    Stream reference;
    std::int64_t referenceTotal = 0;       // samples taken, silence included
    std::vector<float> referenceFrameDbfs; // levels of whole reference frames, from frame referenceFrameBase
    std::int64_t referenceFrameBase = 0;

    std::int64_t processed = 0; // microphone samples processed so far
    std::int64_t nextEstimate = 0;
    std::optional<double> lagMs;       // the echo's lag behind the reference, once found
    std::optional<double> candidateMs; // a jump seen once, waiting to be confirmed
    bool trustNextEstimate = false;    // after a break in the streams the next estimate counts at once
    std::deque<std::int64_t> breaks;   // timeline positions where the streams may have slipped
    std::int64_t shift = 0;            // the reference fed with microphone sample n is sample n - shift
    float gain = 1.0f;
    bool apmFailed = false;
    bool finished = false;

    std::vector<float> output;
    EchoCanceller::Statistics statistics;

    explicit State(EchoCancellerOptions opts)
        : options(opts)
        , frame(opts.sampleRate * kFrameMs / 1000)
        , streamConfig(opts.sampleRate, 1)
        , estimator(opts.sampleRate, int(opts.maxEchoLag.count()), int(opts.maxEchoLead.count()))
        , gate(opts.gate)
    {
        nextEstimate = estimator.windowSamples();
    }

    std::size_t frameSize() const { return std::size_t(frame); }
    std::int64_t msToSamples(double ms) const { return std::int64_t(std::llround(ms * options.sampleRate / 1000)); }

    void noteReferenceFrames()
    {
        const std::int64_t wholeFrames = referenceTotal / frame;
        std::vector<float> samples(frameSize(), 0.0f);
        for (std::int64_t f = referenceFrameBase + std::int64_t(referenceFrameDbfs.size()); f < wholeFrames; ++f) {
            reference.copy(f * frame, samples);
            referenceFrameDbfs.push_back(float(levelDbfs(samples)));
        }
    }

    // The loudest reference frame within [fromSample, toSample).
    double referenceLevelIn(std::int64_t fromSample, std::int64_t toSample) const
    {
        const std::int64_t first = std::max(fromSample / frame, referenceFrameBase);
        const std::int64_t last =
            std::min((toSample + frame - 1) / frame, referenceFrameBase + std::int64_t(referenceFrameDbfs.size()));
        double loudest = -130;
        for (std::int64_t f = first; f < last; ++f)
            loudest = std::max(loudest, double(referenceFrameDbfs[std::size_t(f - referenceFrameBase)]));
        return loudest;
    }

    // The reference span whose sound may be echoed in microphone samples [from, from + frame).
    std::pair<std::int64_t, std::int64_t> echoSource(std::int64_t from) const
    {
        if (!lagMs)
            return {from - msToSamples(double(options.maxEchoLag.count())),
                    from + frame + msToSamples(double(options.maxEchoLead.count()))};
        const std::int64_t lag = msToSamples(*lagMs);
        return {from - lag - msToSamples(kEchoTailMs), from + 2 * frame - lag};
    }

    // How much reference must have arrived before microphone samples [from, from + frame) can be processed.
    std::int64_t referenceNeededFor(std::int64_t from) const
    {
        return std::max(from + frame - shift, echoSource(from).second);
    }

    void check(int result, const char *what)
    {
        if (result == webrtc::AudioProcessing::kNoError || apmFailed)
            return;
        apmFailed = true;
        qCWarning(lcEchoCanceller) << what << "failed with" << result << "- frames with reference sound are blanked";
    }

    void processFrame()
    {
        const std::int64_t from = processed;
        std::vector<float> far(frameSize(), 0.0f);
        std::vector<float> near(frameSize(), 0.0f);
        std::vector<float> out(frameSize(), 0.0f);
        reference.copy(from - shift, far);
        microphone.copy(from, near);

        const float *farIn[] = {far.data()};
        float *farOut[] = {far.data()};
        check(apm->ProcessReverseStream(farIn, streamConfig, streamConfig, farOut), "ProcessReverseStream");
        const int reported =
            lagMs ? int(std::lround(*lagMs - double(shift) * 1000 / options.sampleRate)) - kReportBelowMs : 0;
        check(apm->set_stream_delay_ms(std::max(reported, 0)), "set_stream_delay_ms");
        const float *nearIn[] = {near.data()};
        float *nearOut[] = {out.data()};
        check(apm->ProcessStream(nearIn, streamConfig, streamConfig, nearOut), "ProcessStream");

        const auto [sourceFrom, sourceTo] = echoSource(from);
        const double referenceLevel = referenceLevelIn(sourceFrom, sourceTo);
        const bool referenceSound = referenceLevel > options.gate.referenceSoundDbfs;
        std::optional<double> echoed;
        if (lagMs) {
            std::vector<float> source(frameSize(), 0.0f);
            reference.copy(from - msToSamples(*lagMs), source);
            echoed = levelDbfs(source);
        }
        EchoGate::Decision decision = gate.decide({levelDbfs(near), levelDbfs(out), referenceLevel, echoed});
        if (!options.useGate)
            decision = EchoGate::Decision::Keep;
        if (apmFailed) {
            // Without a working canceller the frame is the microphone as it was.
            out = near;
            if (referenceSound)
                decision = EchoGate::Decision::Blank;
        }
        // Fade across the frame instead of switching: a hard step clicks.
        const float target = decision == EchoGate::Decision::Keep ? 1.0f : 0.0f;
        for (int i = 0; i < frame; ++i) {
            const float g = gain + (target - gain) * float(i + 1) / float(frame);
            output.push_back(out[std::size_t(i)] * g);
        }
        gain = target;

        processed += frame;
        ++statistics.frames;
        if (decision == EchoGate::Decision::Blank)
            ++statistics.blankedFrames;
        if (!statistics.converged && gate.hasConverged()) {
            statistics.converged = true;
            qCInfo(lcEchoCanceller).nospace() << "converged after " << double(processed) / options.sampleRate << " s";
        }
    }

    void estimateDelay()
    {
        const std::int64_t start = nextEstimate - estimator.windowSamples();
        nextEstimate += msToSamples(kEstimationEveryMs);
        const std::int64_t first = std::max((start - estimator.lagSamples()) / frame, referenceFrameBase);
        const std::int64_t last = std::min((start + estimator.windowSamples() + estimator.leadSamples()) / frame,
                                           referenceFrameBase + std::int64_t(referenceFrameDbfs.size()));
        std::int64_t active = 0;
        for (std::int64_t f = first; f < last; ++f)
            active += referenceFrameDbfs[std::size_t(f - referenceFrameBase)] > options.gate.referenceSoundDbfs ? 1 : 0;
        if (last <= first || double(active) / double(last - first) < kMinActiveShare)
            return;
        const std::optional<double> found = estimator.estimate(microphone, reference, start);
        if (!found)
            return;
        ++statistics.delayEstimates;
        if (lagMs && std::abs(*found - *lagMs) <= kDriftMs) {
            lagMs = *found;
        } else if (!lagMs || trustNextEstimate || (candidateMs && std::abs(*found - *candidateMs) <= kDriftMs)) {
            adopt(*found);
        } else {
            candidateMs = *found;
            return;
        }
        candidateMs.reset();
        trustNextEstimate = false;
        statistics.echoDelayMs = lagMs;
    }

    void adopt(double found)
    {
        const bool first = !lagMs;
        lagMs = found;
        // The canceller now lines the reference up anew and has to learn the echo again: what it showed
        // before says nothing about the frames to come.
        gate.restartConvergence();
        statistics.converged = false;
        if (first) {
            webrtc::Config config;
            configure(config, false);
            apm->SetExtraOptions(config);
            qCInfo(lcEchoCanceller).nospace() << "echo found " << found << " ms behind the reference";
        } else {
            qCInfo(lcEchoCanceller).nospace() << "echo moved to " << found << " ms behind the reference";
        }
        const double residualMs = found - double(shift) * 1000 / options.sampleRate;
        if (residualMs - kReportBelowMs >= 0 && residualMs - kReportBelowMs <= kMaxReportedDelayMs)
            return;
        // Out of the canceller's reach: feed it the reference from elsewhere, in whole frames, and let it
        // learn the echo again.
        shift = (msToSamples(found - kShiftTargetMs) / frame) * frame;
        qCInfo(lcEchoCanceller).nospace()
            << "reference moved by " << double(shift) * 1000 / options.sampleRate << " ms to keep the echo in reach";
    }

    void forgetOldSamples()
    {
        const std::int64_t keepFrom = processed - estimator.windowSamples() - estimator.lagSamples()
                                      - msToSamples(kEchoTailMs) - std::max<std::int64_t>(shift, 0) - frame;
        const std::int64_t slack = options.sampleRate; // a second
        microphone.dropBefore(std::min(keepFrom, nextEstimate - estimator.windowSamples()), slack);
        reference.dropBefore(std::min(keepFrom, nextEstimate - estimator.windowSamples() - estimator.lagSamples()),
                             slack);
        const std::int64_t frameDrop =
            std::min(keepFrom / frame - referenceFrameBase, std::int64_t(referenceFrameDbfs.size()));
        if (frameDrop > 100) {
            referenceFrameDbfs.erase(referenceFrameDbfs.begin(), referenceFrameDbfs.begin() + frameDrop);
            referenceFrameBase += frameDrop;
        }
    }

    // From here on the echo may sit elsewhere: show the removal again before trusting it, and take the next
    // estimate, made on audio after the break only, as it comes.
    void applyBreak()
    {
        breaks.pop_front();
        gate.restartConvergence();
        statistics.converged = false;
        candidateMs.reset();
        trustNextEstimate = true;
        nextEstimate = std::max(nextEstimate, processed + estimator.windowSamples());
    }

    void run(bool final)
    {
        noteReferenceFrames();
        while (processed + frame <= microphone.end()) {
            while (!breaks.empty() && breaks.front() <= processed)
                applyBreak();
            // An estimate that is due waits for the reference after its window too, so that the output does
            // not depend on how the caller cut the streams into pieces.
            const bool estimateDue = processed + frame >= nextEstimate;
            std::int64_t needed = referenceNeededFor(processed);
            if (estimateDue)
                needed = std::max(needed, nextEstimate + estimator.leadSamples());
            if (!final && needed > referenceTotal)
                break;
            if (estimateDue)
                estimateDelay();
            processFrame();
        }
        forgetOldSamples();
    }
};

EchoCanceller::EchoCanceller(EchoCancellerOptions options)
{
    const int rate = options.sampleRate;
    if (rate != 8000 && rate != 16000 && rate != 32000 && rate != 48000)
        throw std::invalid_argument("the echo canceller works at 8000, 16000, 32000 or 48000 Hz, not "
                                    + std::to_string(rate));
    if (options.maxEchoLag.count() < 0 || options.maxEchoLead.count() < 0
        || options.maxEchoLag.count() + options.maxEchoLead.count() > 10000)
        throw std::invalid_argument("the echo canceller's lag range must lie within ten seconds");
    d = std::make_unique<State>(options);

    webrtc::Config config;
    configure(config, true);
    d->apm.reset(webrtc::AudioProcessing::Create(config));
    if (!d->apm)
        throw std::runtime_error("cannot create WebRTC audio processing");
    webrtc::ProcessingConfig streams{{d->streamConfig, d->streamConfig, d->streamConfig, d->streamConfig}};
    int result = d->apm->Initialize(streams);
    // The user's voice is what we keep: nothing may change its level or colour but removing the echo (the
    // high-pass filter only takes away rumble below the voice).
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->high_pass_filter()->Enable(true);
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->gain_control()->Enable(false);
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->noise_suppression()->Enable(false);
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->echo_cancellation()->enable_drift_compensation(false);
    // Low: any stronger suppression takes several dB off the user talking over the other side, and what the
    // canceller leaves of a lone echo the gate after it removes anyway.
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->echo_cancellation()->set_suppression_level(webrtc::EchoCancellation::kLowSuppression);
    if (result == webrtc::AudioProcessing::kNoError)
        result = d->apm->echo_cancellation()->Enable(true);
    if (result != webrtc::AudioProcessing::kNoError)
        throw std::runtime_error("cannot set up WebRTC echo cancellation (error " + std::to_string(result) + ")");
}

EchoCanceller::~EchoCanceller() = default;

void EchoCanceller::addReference(std::span<const float> samples)
{
    if (d->finished)
        throw std::logic_error("the echo canceller has finished");
    d->reference.append(samples);
    d->referenceTotal += std::int64_t(samples.size());
}

void EchoCanceller::addReferenceSilence(std::int64_t samples)
{
    if (d->finished)
        throw std::logic_error("the echo canceller has finished");
    if (samples <= 0)
        return;
    d->reference.samples.resize(d->reference.samples.size() + std::size_t(samples), 0.0f);
    d->referenceTotal += samples;
}

void EchoCanceller::markBreak()
{
    if (d->finished)
        throw std::logic_error("the echo canceller has finished");
    d->breaks.push_back(d->referenceTotal);
}

void EchoCanceller::addMicrophone(std::span<const float> samples)
{
    if (d->finished)
        throw std::logic_error("the echo canceller has finished");
    d->microphone.append(samples);
}

std::vector<float> EchoCanceller::takeOutput()
{
    if (!d->finished)
        d->run(false);
    return std::exchange(d->output, {});
}

std::vector<float> EchoCanceller::finish()
{
    if (d->finished)
        return {};
    // Pad the microphone to a whole frame, process everything, then cut the padding off again.
    const std::int64_t total = d->microphone.end();
    const std::int64_t partial = total % d->frame;
    if (partial != 0)
        d->microphone.samples.resize(d->microphone.samples.size() + std::size_t(d->frame - partial), 0.0f);
    d->run(true);
    d->finished = true;
    std::vector<float> rest = std::exchange(d->output, {});
    if (partial != 0)
        rest.resize(rest.size() - std::size_t(d->frame - partial));
    return rest;
}

EchoCanceller::Statistics EchoCanceller::statistics() const
{
    return d->statistics;
}

const EchoCancellerOptions &EchoCanceller::options() const
{
    return d->options;
}

std::int64_t EchoCanceller::referenceSamples() const
{
    return d->referenceTotal;
}

std::int64_t EchoCanceller::microphoneSamples() const
{
    return d->microphone.end();
}

} // namespace brelta::platform
