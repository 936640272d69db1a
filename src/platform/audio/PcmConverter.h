#pragma once

#include "platform/audio/PcmBuffer.h"

#include <memory>

namespace brelta::platform {

// Converts a stream of PCM buffers to another sample type, rate and channel count (libswresample). Keeps the
// resampler's state between buffers, so a stream cut into buffers of any length converts as one piece.
// Channel counts map through the default layouts: more channels mix down to their average, fewer are
// spread out.
class PcmConverter
{
public:
    // Throws std::invalid_argument for a format without rate or channels.
    PcmConverter(const PcmFormat &from, const PcmFormat &to);
    ~PcmConverter();
    PcmConverter(const PcmConverter &) = delete;
    PcmConverter &operator=(const PcmConverter &) = delete;

    const PcmFormat &inputFormat() const { return m_from; }
    const PcmFormat &outputFormat() const { return m_to; }

    // Converts `input` (in inputFormat()) and returns every output frame ready so far. Across a stream the
    // output holds about input frames × to rate / from rate; a few frames stay in the filter until flush().
    // Throws std::invalid_argument for a buffer in another format.
    PcmBuffer convert(const PcmBuffer &input);
    // Returns the frames still inside the filter, ending the stream; the converter can then start anew.
    PcmBuffer flush();

private:
    PcmBuffer run(const std::uint8_t *const *input, int frames);

    struct Resampler;
    std::unique_ptr<Resampler> m_resampler;
    PcmFormat m_from;
    PcmFormat m_to;
};

} // namespace brelta::platform
