#pragma once

#include <QMetaType>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace brelta::platform {

// Sample encodings a PCM buffer can hold. Samples are native-endian.
enum class SampleType {
    Float32, // 4 bytes, nominal range [-1, 1]
    Int16,   // 2 bytes
    Int32,   // 4 bytes
};

int bytesPerSample(SampleType type);

struct PcmFormat
{
    SampleType sampleType = SampleType::Int16;
    int sampleRate = 0; // frames per second (Hz)
    int channels = 0;

    int bytesPerFrame() const { return bytesPerSample(sampleType) * channels; }
    // Frames in `milliseconds` of audio, truncated toward zero.
    std::uint32_t framesFor(int milliseconds) const;

    friend bool operator==(const PcmFormat &, const PcmFormat &) = default;
};

// A block of non-interleaved PCM audio: one contiguous sample array per channel.
//
// Units: "frames" throughout. A frame is one sample of every channel. `frameCapacity` is how many frames the
// arrays hold, `frameLength` how many of them are in use (≤ capacity). A new buffer's samples are all zero.
//
// Value semantics: copying a PcmBuffer copies its samples, so a buffer handed to another thread (for example
// through a queued signal) shares nothing with its sender.
class PcmBuffer
{
public:
    PcmBuffer() = default;
    PcmBuffer(const PcmFormat &format, std::uint32_t frameCapacity);

    // Builds a buffer from interleaved samples (what sound servers and codecs deliver): `bytes` holds whole
    // frames of `format`; a trailing partial frame is ignored.
    static PcmBuffer fromInterleaved(const PcmFormat &format, std::span<const std::byte> bytes);

    const PcmFormat &format() const { return m_format; }
    std::uint32_t frameCapacity() const { return m_capacity; }
    std::uint32_t frameLength() const { return m_length; }
    // Clamped to the capacity.
    void setFrameLength(std::uint32_t frames);
    bool isEmpty() const { return m_length == 0; }
    // Seconds of audio in use: frameLength / sampleRate (0 for a buffer without a rate).
    double durationSeconds() const;

    // Typed access to one channel's whole capacity. Empty when the buffer holds another sample type or the
    // channel does not exist, so a caller can test which type it has (as with the platform accessors this
    // stands in for).
    std::span<float> floatChannel(int channel);
    std::span<const float> floatChannel(int channel) const;
    std::span<std::int16_t> int16Channel(int channel);
    std::span<const std::int16_t> int16Channel(int channel) const;
    std::span<std::int32_t> int32Channel(int channel);
    std::span<const std::int32_t> int32Channel(int channel) const;

    // Raw bytes of one channel's whole capacity.
    std::span<std::byte> channelBytes(int channel);
    std::span<const std::byte> channelBytes(int channel) const;

    // The frames in use, interleaved (what encoders and sound servers take).
    std::vector<std::byte> toInterleaved() const;

private:
    template<typename T>
    std::span<T> typed(int channel, SampleType type);
    template<typename T>
    std::span<const T> typed(int channel, SampleType type) const;

    PcmFormat m_format;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_length = 0;
    // One array per channel. Stored as 32-bit words so every sample type is suitably aligned.
    std::vector<std::vector<std::uint32_t>> m_channels;
};

// Operations on PCM buffers for code that receives audio in buffers of arbitrary length and hands it on in
// pieces of the length its consumer asks for. Each allocates its result and copies samples (one block copy
// per channel); nothing is shared with the arguments, which stay unchanged.
namespace pcm {

// Copies `count` frames of every channel of `source` starting at frame `from` into `destination` starting at
// frame `to`. Both must have the same format and room for the frames.
void copyFrames(const PcmBuffer &source, std::uint32_t from, PcmBuffer &destination, std::uint32_t to,
                std::uint32_t count);

// A new buffer with the source's format and frame capacity (not just its length) and the same frames.
PcmBuffer copy(const PcmBuffer &source);

// A new buffer holding the frames of all `buffers` end to end, capacity = total length. All buffers must share
// one format (else std::invalid_argument); a total beyond 2^32 - 1 frames throws std::length_error. An empty
// list gives an empty buffer of the default (unset) format.
PcmBuffer concat(std::span<const PcmBuffer> buffers);
PcmBuffer concat(std::initializer_list<PcmBuffer> buffers);

struct SplitResult
{
    PcmBuffer head; // the first n frames, capacity n
    PcmBuffer tail; // the rest, capacity = length = source length - n
};

// Cuts the frames in use at frame n. An n beyond the frame length is taken as the frame length (the tail is
// then empty), so a caller's off-by-one can never read outside the source.
SplitResult split(const PcmBuffer &source, std::uint32_t n);

} // namespace pcm

} // namespace brelta::platform

Q_DECLARE_METATYPE(brelta::platform::PcmBuffer)
