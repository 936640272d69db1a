#include "platform/audio/AudioFileInfo.h"

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/FfmpegHandles.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace brelta::platform {

AudioFileInfo readAudioFileInfo(const QString &path)
{
    const auto failure = [&path](const QString &what, int code) {
        return AudioFileError(QStringLiteral("%1: %2: %3").arg(path, what, ffmpeg::errorText(code)).toStdString());
    };
    AVFormatContext *raw = nullptr;
    int result = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr);
    ffmpeg::InputFormat input(raw);
    if (result < 0)
        throw failure(QStringLiteral("cannot open the audio file"), result);
    if ((result = avformat_find_stream_info(input.get(), nullptr)) < 0)
        throw failure(QStringLiteral("cannot read the audio file"), result);
    // The first audio stream, even one without packets (a recording stopped before any audio came).
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            index = int(i);
    }
    if (index < 0)
        throw failure(QStringLiteral("no audio stream"), AVERROR_STREAM_NOT_FOUND);
    const AVStream *stream = input->streams[index];

    AudioFileInfo info;
    info.container = QString::fromUtf8(input->iformat->name);
    info.codec = QString::fromUtf8(avcodec_get_name(stream->codecpar->codec_id));
    info.sampleRate = stream->codecpar->sample_rate;
    info.channels = stream->codecpar->ch_layout.nb_channels;
    info.bitRate = stream->codecpar->bit_rate;

    // Priming samples carry negative timestamps; the audio a listener hears starts at 0.
    std::int64_t start = std::numeric_limits<std::int64_t>::max();
    std::int64_t end = std::numeric_limits<std::int64_t>::min();
    ffmpeg::Packet packet(av_packet_alloc());
    while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
        if (packet->stream_index == index && packet->pts != AV_NOPTS_VALUE) {
            start = std::min(start, packet->pts);
            end = std::max(end, packet->pts + packet->duration);
        }
        av_packet_unref(packet.get());
    }
    if (result != AVERROR_EOF && end == std::numeric_limits<std::int64_t>::min())
        throw failure(QStringLiteral("cannot read the audio file"), result);
    if (end > start)
        info.durationSeconds = double(end - std::max<std::int64_t>(start, 0)) * av_q2d(stream->time_base);
    return info;
}

double audioFileDuration(const QString &path)
{
    return readAudioFileInfo(path).durationSeconds;
}

} // namespace brelta::platform
