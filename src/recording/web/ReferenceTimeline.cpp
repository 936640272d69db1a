#include "recording/web/ReferenceTimeline.h"

#include <algorithm>

namespace brelta::recording {

ReferenceTimeline::ReferenceTimeline(int sampleRate) : m_sampleRate(sampleRate) {}

std::vector<ReferenceTimeline::Piece> ReferenceTimeline::setMicrophoneStart(qint64 epochMs)
{
    m_microphoneStartMs = epochMs;
    std::vector<Piece> pieces;
    for (Waiting &waiting : std::exchange(m_waiting, {})) {
        if (waiting.restart)
            captureRestarted();
        if (std::optional<Piece> piece = place(waiting.samples, waiting.arrivedAtMs))
            pieces.push_back(std::move(*piece));
    }
    return pieces;
}

std::vector<ReferenceTimeline::Piece> ReferenceTimeline::add(std::span<const float> block, qint64 arrivedAtMs)
{
    if (!m_microphoneStartMs) {
        m_waiting.push_back(Waiting{std::vector<float>(block.begin(), block.end()), arrivedAtMs, m_restart});
        m_restart = false;
        return {};
    }
    std::vector<Piece> pieces;
    if (std::optional<Piece> piece = place(block, arrivedAtMs))
        pieces.push_back(std::move(*piece));
    return pieces;
}

void ReferenceTimeline::captureRestarted()
{
    m_restart = true;
}

void ReferenceTimeline::pause()
{
    m_lastArrivalMs.reset();
}

void ReferenceTimeline::resume()
{
    m_break = true;
}

std::optional<ReferenceTimeline::Piece> ReferenceTimeline::place(std::span<const float> block, qint64 arrivedAtMs)
{
    Piece piece;
    if (m_restart) {
        m_restart = false;
        const qint64 blockStartMs = arrivedAtMs - qint64(block.size()) * 1000 / m_sampleRate;
        std::optional<qint64> expectedMs;
        if (m_length == 0 && m_toDrop == 0)
            expectedMs = m_microphoneStartMs;
        else if (m_lastArrivalMs)
            expectedMs = m_lastArrivalMs;
        if (m_length > 0 || m_toDrop > 0)
            piece.breaks = true;
        if (expectedMs) {
            const std::int64_t offset = samplesFor(blockStartMs - *expectedMs);
            if (offset > 0)
                piece.silence = offset;
            else
                m_toDrop = -offset;
        }
    }
    piece.breaks = piece.breaks || std::exchange(m_break, false);
    const std::size_t dropped = std::size_t(std::min<std::int64_t>(m_toDrop, std::int64_t(block.size())));
    m_toDrop -= std::int64_t(dropped);
    piece.samples.assign(block.begin() + std::ptrdiff_t(dropped), block.end());
    m_lastArrivalMs = arrivedAtMs;
    if (piece.silence == 0 && piece.samples.empty()) {
        if (piece.breaks)
            m_break = true; // carried to the next piece that holds something
        return std::nullopt;
    }
    m_length += piece.silence + std::int64_t(piece.samples.size());
    return piece;
}

} // namespace brelta::recording
