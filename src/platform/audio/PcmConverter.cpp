#include "platform/audio/PcmConverter.h"

#include "platform/audio/FfmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <stdexcept>
#include <string>
#include <vector>

namespace brelta::platform {

namespace {

AVSampleFormat planarFormat(SampleType type)
{
    switch (type) {
    case SampleType::Float32:
        return AV_SAMPLE_FMT_FLTP;
    case SampleType::Int16:
        return AV_SAMPLE_FMT_S16P;
    case SampleType::Int32:
        return AV_SAMPLE_FMT_S32P;
    }
    return AV_SAMPLE_FMT_NONE;
}

} // namespace

struct PcmConverter::Resampler
{
    ffmpeg::Resampler context;
};

PcmConverter::PcmConverter(const PcmFormat &from, const PcmFormat &to)
    : m_resampler(std::make_unique<Resampler>())
    , m_from(from)
    , m_to(to)
{
    if (from.sampleRate <= 0 || from.channels <= 0 || to.sampleRate <= 0 || to.channels <= 0)
        throw std::invalid_argument("PCM conversion needs formats with a sample rate and channels");
    AVChannelLayout inLayout;
    AVChannelLayout outLayout;
    av_channel_layout_default(&inLayout, from.channels);
    av_channel_layout_default(&outLayout, to.channels);
    SwrContext *context = nullptr;
    int result = swr_alloc_set_opts2(&context, &outLayout, planarFormat(to.sampleType), to.sampleRate, &inLayout,
                                     planarFormat(from.sampleType), from.sampleRate, 0, nullptr);
    m_resampler->context.reset(context);
    // Mixing channels down averages them, whatever the output type (by default only integer output is
    // kept from clipping), so a level does not depend on the sample type asked for.
    if (result >= 0)
        result = av_opt_set_double(context, "rematrix_maxval", 1.0, 0);
    if (result >= 0)
        result = swr_init(context);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (result < 0)
        throw std::runtime_error("cannot set up the PCM converter: " + ffmpeg::errorText(result).toStdString());
}

PcmConverter::~PcmConverter() = default;

PcmBuffer PcmConverter::convert(const PcmBuffer &input)
{
    if (input.format() != m_from)
        throw std::invalid_argument("PCM converter got a buffer in another format");
    std::vector<const std::uint8_t *> planes;
    for (int channel = 0; channel < m_from.channels; ++channel)
        planes.push_back(reinterpret_cast<const std::uint8_t *>(input.channelBytes(channel).data()));
    return run(planes.data(), int(input.frameLength()));
}

PcmBuffer PcmConverter::flush()
{
    return run(nullptr, 0);
}

PcmBuffer PcmConverter::run(const std::uint8_t *const *input, int frames)
{
    SwrContext *context = m_resampler->context.get();
    const int room = swr_get_out_samples(context, frames);
    PcmBuffer output(m_to, std::uint32_t(std::max(room, 0)));
    std::vector<std::uint8_t *> planes;
    for (int channel = 0; channel < m_to.channels; ++channel)
        planes.push_back(reinterpret_cast<std::uint8_t *>(output.channelBytes(channel).data()));
    const int produced = swr_convert(context, planes.data(), room, const_cast<const std::uint8_t **>(input), frames);
    if (produced < 0)
        throw std::runtime_error("PCM conversion failed: " + ffmpeg::errorText(produced).toStdString());
    output.setFrameLength(std::uint32_t(produced));
    return output;
}

} // namespace brelta::platform
