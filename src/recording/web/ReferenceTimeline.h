#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brelta::recording {

// Puts what the computer played on the microphone's timeline, so that sample n of the reference and sample
// n of the recording were heard at about the same moment.
//
// The two come from different captures that start, pause and restart at their own moments. The microphone
// starts when the page says it did; the reference arrives in blocks stamped with their arrival. A capture's
// first block is placed by its arrival (silence fills a gap, an overlap is dropped); the blocks after it
// follow one another without a seam. What is left after that (a few milliseconds of latency) the echo
// canceller finds by itself.
class ReferenceTimeline
{
public:
    // What to append next to the reference: `silence` samples of silence, then `samples`. `breaks`: the two
    // streams may have slipped against each other just before this piece (a resume, a new capture).
    struct Piece
    {
        std::int64_t silence = 0;
        std::vector<float> samples;
        bool breaks = false;
    };

    explicit ReferenceTimeline(int sampleRate);

    // The microphone's first sample was captured at `epochMs`. Places the blocks that came before.
    std::vector<Piece> setMicrophoneStart(qint64 epochMs);
    bool hasMicrophoneStart() const { return m_microphoneStartMs.has_value(); }

    // A block of `block.size()` samples that arrived at `arrivedAtMs`.
    std::vector<Piece> add(std::span<const float> block, qint64 arrivedAtMs);

    // The next block is the first of a new capture.
    void captureRestarted();
    // The recording pauses: both captures stop without a gap on the timeline.
    void pause();
    // And goes on.
    void resume();

    // Samples placed so far, silence included.
    std::int64_t length() const { return m_length; }

private:
    struct Waiting
    {
        std::vector<float> samples;
        qint64 arrivedAtMs = 0;
        bool restart = false;
    };

    std::optional<Piece> place(std::span<const float> block, qint64 arrivedAtMs);
    std::int64_t samplesFor(qint64 ms) const { return ms * m_sampleRate / 1000; }

    int m_sampleRate;
    std::optional<qint64> m_microphoneStartMs;
    std::vector<Waiting> m_waiting;
    bool m_restart = true;
    bool m_break = false;
    std::optional<qint64> m_lastArrivalMs; // of the block placed last; none after a pause
    std::int64_t m_toDrop = 0;
    std::int64_t m_length = 0;
};

} // namespace brelta::recording
