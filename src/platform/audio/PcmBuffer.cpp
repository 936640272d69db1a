#include "platform/audio/PcmBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace brelta::platform {

int bytesPerSample(SampleType type)
{
    switch (type) {
    case SampleType::Float32:
        return 4;
    case SampleType::Int16:
        return 2;
    case SampleType::Int32:
        return 4;
    }
    return 0;
}

std::uint32_t PcmFormat::framesFor(int milliseconds) const
{
    return std::uint32_t(std::int64_t(sampleRate) * milliseconds / 1000);
}

PcmBuffer::PcmBuffer(const PcmFormat &format, std::uint32_t frameCapacity) : m_format(format), m_capacity(frameCapacity)
{
    const std::size_t bytes = std::size_t(frameCapacity) * std::size_t(bytesPerSample(format.sampleType));
    const std::size_t words = (bytes + sizeof(std::uint32_t) - 1) / sizeof(std::uint32_t);
    m_channels.assign(std::size_t(std::max(format.channels, 0)), std::vector<std::uint32_t>(words, 0));
}

PcmBuffer PcmBuffer::fromInterleaved(const PcmFormat &format, std::span<const std::byte> bytes)
{
    const int frameBytes = format.bytesPerFrame();
    const std::uint32_t frames = frameBytes > 0 ? std::uint32_t(bytes.size() / std::size_t(frameBytes)) : 0;
    PcmBuffer buffer(format, frames);
    buffer.m_length = frames;
    const int sampleBytes = bytesPerSample(format.sampleType);
    if (frames == 0)
        return buffer;
    if (format.channels == 1) {
        std::memcpy(buffer.channelBytes(0).data(), bytes.data(), std::size_t(frames) * std::size_t(sampleBytes));
        return buffer;
    }
    for (int channel = 0; channel < format.channels; ++channel) {
        std::byte *out = buffer.channelBytes(channel).data();
        const std::byte *in = bytes.data() + std::size_t(channel * sampleBytes);
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            std::memcpy(out, in, std::size_t(sampleBytes));
            out += sampleBytes;
            in += frameBytes;
        }
    }
    return buffer;
}

std::vector<std::byte> PcmBuffer::toInterleaved() const
{
    const int sampleBytes = bytesPerSample(m_format.sampleType);
    const int frameBytes = m_format.bytesPerFrame();
    std::vector<std::byte> out(std::size_t(m_length) * std::size_t(frameBytes));
    for (int channel = 0; channel < m_format.channels; ++channel) {
        const std::byte *in = channelBytes(channel).data();
        std::byte *dst = out.data() + std::size_t(channel * sampleBytes);
        for (std::uint32_t frame = 0; frame < m_length; ++frame) {
            std::memcpy(dst, in, std::size_t(sampleBytes));
            in += sampleBytes;
            dst += frameBytes;
        }
    }
    return out;
}

void PcmBuffer::setFrameLength(std::uint32_t frames)
{
    m_length = std::min(frames, m_capacity);
}

double PcmBuffer::durationSeconds() const
{
    return m_format.sampleRate > 0 ? double(m_length) / double(m_format.sampleRate) : 0.0;
}

std::span<std::byte> PcmBuffer::channelBytes(int channel)
{
    if (channel < 0 || channel >= int(m_channels.size()))
        return {};
    auto &words = m_channels[std::size_t(channel)];
    return {reinterpret_cast<std::byte *>(words.data()),
            std::size_t(m_capacity) * std::size_t(bytesPerSample(m_format.sampleType))};
}

std::span<const std::byte> PcmBuffer::channelBytes(int channel) const
{
    return const_cast<PcmBuffer *>(this)->channelBytes(channel);
}

template<typename T>
std::span<T> PcmBuffer::typed(int channel, SampleType type)
{
    if (m_format.sampleType != type || channel < 0 || channel >= int(m_channels.size()))
        return {};
    return {reinterpret_cast<T *>(m_channels[std::size_t(channel)].data()), m_capacity};
}

template<typename T>
std::span<const T> PcmBuffer::typed(int channel, SampleType type) const
{
    return const_cast<PcmBuffer *>(this)->typed<T>(channel, type);
}

std::span<float> PcmBuffer::floatChannel(int channel)
{
    return typed<float>(channel, SampleType::Float32);
}
std::span<const float> PcmBuffer::floatChannel(int channel) const
{
    return typed<float>(channel, SampleType::Float32);
}
std::span<std::int16_t> PcmBuffer::int16Channel(int channel)
{
    return typed<std::int16_t>(channel, SampleType::Int16);
}
std::span<const std::int16_t> PcmBuffer::int16Channel(int channel) const
{
    return typed<std::int16_t>(channel, SampleType::Int16);
}
std::span<std::int32_t> PcmBuffer::int32Channel(int channel)
{
    return typed<std::int32_t>(channel, SampleType::Int32);
}
std::span<const std::int32_t> PcmBuffer::int32Channel(int channel) const
{
    return typed<std::int32_t>(channel, SampleType::Int32);
}

namespace pcm {

void copyFrames(const PcmBuffer &source, std::uint32_t from, PcmBuffer &destination, std::uint32_t to,
                std::uint32_t count)
{
    if (count == 0)
        return;
    if (source.format() != destination.format())
        throw std::invalid_argument("PCM frame copy between buffers of different formats");
    if (std::uint64_t(from) + count > source.frameCapacity() || std::uint64_t(to) + count > destination.frameCapacity())
        throw std::out_of_range("PCM frame copy beyond a buffer's capacity");
    const std::size_t sampleBytes = std::size_t(bytesPerSample(source.format().sampleType));
    for (int channel = 0; channel < source.format().channels; ++channel) {
        std::memcpy(destination.channelBytes(channel).data() + to * sampleBytes,
                    source.channelBytes(channel).data() + from * sampleBytes, count * sampleBytes);
    }
}

PcmBuffer copy(const PcmBuffer &source)
{
    PcmBuffer result(source.format(), source.frameCapacity());
    result.setFrameLength(source.frameLength());
    copyFrames(source, 0, result, 0, source.frameLength());
    return result;
}

PcmBuffer concat(std::span<const PcmBuffer> buffers)
{
    if (buffers.empty())
        return {};
    const PcmFormat &format = buffers.front().format();
    std::uint64_t total = 0;
    for (const PcmBuffer &buffer : buffers) {
        if (buffer.format() != format)
            throw std::invalid_argument("cannot join PCM buffers of different formats");
        total += buffer.frameLength();
    }
    if (total > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("joined PCM buffers exceed 2^32 - 1 frames");

    PcmBuffer result(format, std::uint32_t(total));
    result.setFrameLength(std::uint32_t(total));
    std::uint32_t offset = 0;
    for (const PcmBuffer &buffer : buffers) {
        copyFrames(buffer, 0, result, offset, buffer.frameLength());
        offset += buffer.frameLength();
    }
    return result;
}

PcmBuffer concat(std::initializer_list<PcmBuffer> buffers)
{
    return concat(std::span<const PcmBuffer>(buffers.begin(), buffers.size()));
}

SplitResult split(const PcmBuffer &source, std::uint32_t n)
{
    n = std::min(n, source.frameLength());
    const std::uint32_t rest = source.frameLength() - n;
    SplitResult result{PcmBuffer(source.format(), n), PcmBuffer(source.format(), rest)};
    result.head.setFrameLength(n);
    result.tail.setFrameLength(rest);
    copyFrames(source, 0, result.head, 0, n);
    copyFrames(source, n, result.tail, 0, rest);
    return result;
}

} // namespace pcm

} // namespace brelta::platform
