#pragma once

// Internal to the audio facility: owners for FFmpeg's C handles and its error texts.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <QString>

#include <memory>

namespace brelta::platform::ffmpeg {

struct CodecContextDeleter
{
    void operator()(AVCodecContext *context) const { avcodec_free_context(&context); }
};
struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct ResamplerDeleter
{
    void operator()(SwrContext *context) const { swr_free(&context); }
};
struct FifoDeleter
{
    void operator()(AVAudioFifo *fifo) const { av_audio_fifo_free(fifo); }
};
// A demuxer opened with avformat_open_input.
struct InputDeleter
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
// A muxer made with avformat_alloc_output_context2; its I/O context is owned separately.
struct OutputDeleter
{
    void operator()(AVFormatContext *context) const { avformat_free_context(context); }
};

using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Resampler = std::unique_ptr<SwrContext, ResamplerDeleter>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using InputFormat = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputFormat = std::unique_ptr<AVFormatContext, OutputDeleter>;

inline QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace brelta::platform::ffmpeg
