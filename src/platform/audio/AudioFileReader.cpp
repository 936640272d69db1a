#include "platform/audio/AudioFileReader.h"

#include "platform/audio/FfmpegHandles.h"

#include <QFile>

#include <vector>

namespace brelta::platform {
namespace {

[[noreturn]] void fail(const QString &path, const QString &what)
{
    throw AudioFileError(QStringLiteral("%1: %2").arg(path, what).toStdString());
}

[[noreturn]] void failCode(const QString &path, const QString &what, int code)
{
    fail(path, QStringLiteral("%1: %2").arg(what, ffmpeg::errorText(code)));
}

} // namespace

struct AudioFileReader::State
{
    QString path;
    ffmpeg::InputFormat input;
    ffmpeg::CodecContext decoder;
    ffmpeg::Packet packet;
    ffmpeg::Frame frame;
    // Changes the decoder's sample encoding to planar float; rate and channels stay as they are.
    ffmpeg::Resampler encodingConverter;
    int convertedFrom = AV_SAMPLE_FMT_NONE; // the decoder's encoding the converter is set up for
    int streamIndex = -1;
    PcmFormat format;
    bool inputEnded = false; // the decoder has been told there are no more packets
    std::uint64_t framesRead = 0;

    void setUpConverter(int sampleFormat)
    {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, format.channels);
        SwrContext *context = nullptr;
        int result = swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_FLTP, format.sampleRate, &layout,
                                         AVSampleFormat(sampleFormat), format.sampleRate, 0, nullptr);
        encodingConverter.reset(context);
        if (result >= 0)
            result = swr_init(context);
        av_channel_layout_uninit(&layout);
        if (result < 0)
            failCode(path, QStringLiteral("cannot convert the decoded audio"), result);
        convertedFrom = sampleFormat;
    }

    PcmBuffer convert(const AVFrame &decoded)
    {
        if (decoded.sample_rate != format.sampleRate || decoded.ch_layout.nb_channels != format.channels)
            fail(path, QStringLiteral("the audio changes its sample rate or channels midway"));
        if (decoded.format != convertedFrom)
            setUpConverter(decoded.format);
        PcmBuffer block(format, std::uint32_t(decoded.nb_samples));
        std::vector<std::uint8_t *> planes;
        for (int channel = 0; channel < format.channels; ++channel)
            planes.push_back(reinterpret_cast<std::uint8_t *>(block.channelBytes(channel).data()));
        const int produced = swr_convert(encodingConverter.get(), planes.data(), decoded.nb_samples,
                                         const_cast<const std::uint8_t **>(decoded.extended_data), decoded.nb_samples);
        if (produced < 0)
            failCode(path, QStringLiteral("cannot convert the decoded audio"), produced);
        block.setFrameLength(std::uint32_t(produced));
        return block;
    }

    // Hands the decoder its next packet, or the end of the stream. A packet the demuxer marks as cut off
    // (the tail of a file a crash interrupted) is left out: it cannot decode, and what precedes it can.
    void feedDecoder()
    {
        for (;;) {
            int result = av_read_frame(input.get(), packet.get());
            if (result == AVERROR_EOF) {
                inputEnded = true;
                if ((result = avcodec_send_packet(decoder.get(), nullptr)) < 0 && result != AVERROR_EOF)
                    failCode(path, QStringLiteral("cannot decode the audio"), result);
                return;
            }
            if (result < 0)
                failCode(path, QStringLiteral("cannot read the audio file"), result);
            const bool usable = packet->stream_index == streamIndex && !(packet->flags & AV_PKT_FLAG_CORRUPT);
            if (usable)
                result = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (!usable)
                continue;
            if (result < 0)
                failCode(path, QStringLiteral("cannot decode the audio"), result);
            return;
        }
    }
};

AudioFileReader::AudioFileReader(std::unique_ptr<State> state) : d(std::move(state)) {}

AudioFileReader::~AudioFileReader() = default;

std::unique_ptr<AudioFileReader> AudioFileReader::open(const QString &path)
{
    auto state = std::make_unique<State>();
    state->path = path;
    AVFormatContext *raw = nullptr;
    int result = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr);
    state->input.reset(raw);
    if (result < 0)
        failCode(path, QStringLiteral("cannot open the audio file"), result);
    if ((result = avformat_find_stream_info(state->input.get(), nullptr)) < 0)
        failCode(path, QStringLiteral("cannot read the audio file"), result);
    const AVCodec *codec = nullptr;
    result = av_find_best_stream(state->input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (result == AVERROR_STREAM_NOT_FOUND)
        fail(path, QStringLiteral("no audio stream"));
    if (result < 0 || !codec)
        failCode(path, QStringLiteral("no decoder for the audio"), result < 0 ? result : AVERROR_DECODER_NOT_FOUND);
    state->streamIndex = result;
    const AVStream *stream = state->input->streams[state->streamIndex];

    state->decoder.reset(avcodec_alloc_context3(codec));
    if (!state->decoder)
        fail(path, QStringLiteral("out of memory"));
    if ((result = avcodec_parameters_to_context(state->decoder.get(), stream->codecpar)) < 0)
        failCode(path, QStringLiteral("cannot set up the decoder"), result);
    state->decoder->pkt_timebase = stream->time_base;
    if ((result = avcodec_open2(state->decoder.get(), codec, nullptr)) < 0)
        failCode(path, QStringLiteral("cannot open the decoder"), result);
    state->format = PcmFormat{SampleType::Float32, state->decoder->sample_rate, state->decoder->ch_layout.nb_channels};
    if (state->format.sampleRate <= 0 || state->format.channels <= 0)
        fail(path, QStringLiteral("the audio stream names no sample rate or channels"));

    state->packet.reset(av_packet_alloc());
    state->frame.reset(av_frame_alloc());
    if (!state->packet || !state->frame)
        fail(path, QStringLiteral("out of memory"));
    return std::unique_ptr<AudioFileReader>(new AudioFileReader(std::move(state)));
}

const PcmFormat &AudioFileReader::format() const
{
    return d->format;
}

std::optional<PcmBuffer> AudioFileReader::read()
{
    for (;;) {
        const int result = avcodec_receive_frame(d->decoder.get(), d->frame.get());
        if (result == 0) {
            PcmBuffer block = d->convert(*d->frame);
            av_frame_unref(d->frame.get());
            if (block.isEmpty())
                continue;
            d->framesRead += block.frameLength();
            return block;
        }
        if (result == AVERROR_EOF)
            return std::nullopt;
        if (result != AVERROR(EAGAIN))
            failCode(d->path, QStringLiteral("cannot decode the audio"), result);
        if (d->inputEnded)
            return std::nullopt; // drained: a decoder that asks for more after the end has nothing left
        d->feedDecoder();
    }
}

std::uint64_t AudioFileReader::framesRead() const
{
    return d->framesRead;
}

const QString &AudioFileReader::path() const
{
    return d->path;
}

} // namespace brelta::platform
