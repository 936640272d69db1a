#include "recording/web/EchoFreeEncoder.h"

#include "platform/audio/PcmConverter.h"

namespace brelta::recording {

using platform::PcmBuffer;
using platform::PcmFormat;
using platform::SampleType;

namespace {

const PcmFormat kFormat{SampleType::Float32, EchoFreeEncoder::kSampleRate, 1};

} // namespace

EchoFreeEncoder::EchoFreeEncoder(const QString &path, const platform::AacEncoding &encoding)
    : m_writer(platform::AacFileWriter::create(path, kFormat, encoding))
{}

EchoFreeEncoder::~EchoFreeEncoder() = default;

const QString &EchoFreeEncoder::path() const
{
    return m_writer->path();
}

void EchoFreeEncoder::addMicrophone(const PcmBuffer &block)
{
    if (block.isEmpty())
        return;
    if (block.format() != kFormat) {
        if (!m_converter || m_converter->inputFormat() != block.format())
            m_converter = std::make_unique<platform::PcmConverter>(block.format(), kFormat);
        const PcmBuffer converted = m_converter->convert(block);
        m_canceller.addMicrophone(converted.floatChannel(0).first(converted.frameLength()));
    } else {
        m_canceller.addMicrophone(block.floatChannel(0).first(block.frameLength()));
    }
    keepReferenceAlong();
    write(m_canceller.takeOutput());
}

void EchoFreeEncoder::addReference(std::span<const float> samples)
{
    if (m_referenceEnded)
        return;
    m_canceller.addReference(samples);
    write(m_canceller.takeOutput());
}

void EchoFreeEncoder::addReferenceSilence(std::int64_t samples)
{
    if (m_referenceEnded)
        return;
    m_canceller.addReferenceSilence(samples);
    write(m_canceller.takeOutput());
}

void EchoFreeEncoder::markBreak()
{
    if (!m_referenceEnded)
        m_canceller.markBreak();
}

void EchoFreeEncoder::endReference()
{
    m_referenceEnded = true;
    keepReferenceAlong();
    write(m_canceller.takeOutput());
}

void EchoFreeEncoder::keepReferenceAlong()
{
    // Output waits for the reference around each frame; without one coming, silence stands in for it.
    if (!m_referenceEnded)
        return;
    const std::int64_t ahead = std::int64_t(m_canceller.options().maxEchoLead.count()) * kSampleRate / 1000;
    const std::int64_t missing = m_canceller.microphoneSamples() + ahead - m_canceller.referenceSamples();
    if (missing > 0)
        m_canceller.addReferenceSilence(missing);
}

void EchoFreeEncoder::write(std::vector<float> samples)
{
    if (samples.empty())
        return;
    const auto length = std::uint32_t(samples.size());
    PcmBuffer block(kFormat, length);
    std::copy(samples.begin(), samples.end(), block.floatChannel(0).begin());
    block.setFrameLength(length);
    m_writer->write(block);
}

double EchoFreeEncoder::finish()
{
    if (m_converter) {
        const PcmBuffer rest = m_converter->flush();
        if (!rest.isEmpty())
            m_canceller.addMicrophone(rest.floatChannel(0).first(rest.frameLength()));
    }
    write(m_canceller.finish());
    m_writer->finish();
    return m_writer->writtenSeconds();
}

void EchoFreeEncoder::discard()
{
    m_writer->discard();
}

} // namespace brelta::recording
