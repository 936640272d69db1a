#include "platform/audio/AacFileWriter.h"

#include "platform/audio/FfmpegHandles.h"
#include "platform/audio/PcmConverter.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

Q_LOGGING_CATEGORY(lcWriter, "brelta.platform.AacFileWriter")

namespace brelta::platform {
namespace {

// How often the bytes written are forced to the disk: a power loss costs at most this much beyond a fragment.
constexpr std::chrono::seconds kSyncInterval{1};

[[noreturn]] void fail(const QString &path, const QString &what)
{
    throw AudioFileError(QStringLiteral("%1: %2").arg(path, what).toStdString());
}

[[noreturn]] void failCode(const QString &path, const QString &what, int code)
{
    fail(path, QStringLiteral("%1: %2").arg(what, ffmpeg::errorText(code)));
}

// A file written through FFmpeg's I/O layer by our own descriptor, so the writer can force the bytes to the
// disk (fdatasync) and tell a full disk from other errors.
class FileSink
{
public:
    static std::unique_ptr<FileSink> create(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            fail(path, QStringLiteral("cannot create the file: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        auto sink = std::unique_ptr<FileSink>(new FileSink(fd));
        auto *buffer = static_cast<unsigned char *>(av_malloc(bufferSize));
        sink->m_io.reset(
            avio_alloc_context(buffer, bufferSize, 1, sink.get(), nullptr, &FileSink::writePacket, &FileSink::seek));
        if (!sink->m_io) {
            av_free(buffer);
            fail(path, QStringLiteral("out of memory"));
        }
        return sink;
    }

    ~FileSink()
    {
        m_io.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    AVIOContext *io() const { return m_io.get(); }

    // Pushes buffered bytes to the kernel and the kernel's to the disk. Returns 0 or a negative AVERROR.
    int syncToDisk()
    {
        avio_flush(m_io.get());
        if (m_io->error < 0)
            return m_io->error;
        return ::fdatasync(m_fd) == 0 ? 0 : AVERROR(errno);
    }

private:
    static constexpr int bufferSize = 64 * 1024;

    struct IoDeleter
    {
        void operator()(AVIOContext *io) const
        {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    };

    explicit FileSink(int fd) : m_fd(fd) {}

    static int writePacket(void *opaque, uint8_t *data, int size)
    {
        auto *self = static_cast<FileSink *>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t written = ::write(self->m_fd, data + done, std::size_t(size - done));
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return AVERROR(errno);
            }
            done += int(written);
        }
        return size;
    }

    static int64_t seek(void *opaque, int64_t offset, int whence)
    {
        auto *self = static_cast<FileSink *>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat info;
            return ::fstat(self->m_fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
        }
        const off_t position = ::lseek(self->m_fd, offset, whence & ~AVSEEK_FORCE);
        return position < 0 ? AVERROR(errno) : int64_t(position);
    }

    int m_fd;
    std::unique_ptr<AVIOContext, IoDeleter> m_io;
};

const AVOutputFormat *containerFor(const QString &path)
{
    const AVOutputFormat *format = av_guess_format(nullptr, QFile::encodeName(path).constData(), nullptr);
    if (!format || (std::strcmp(format->name, "ipod") != 0 && std::strcmp(format->name, "mp4") != 0))
        format = av_guess_format("mp4", nullptr, nullptr);
    return format;
}

// A muxer writing into `sink`, with one audio stream described by `parameters`.
ffmpeg::OutputFormat openMuxer(const QString &path, FileSink &sink, const AVCodecParameters *parameters,
                               AVRational timeBase, AVDictionary **options)
{
    AVFormatContext *raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, containerFor(path), nullptr, nullptr);
    ffmpeg::OutputFormat muxer(raw);
    if (result < 0)
        failCode(path, QStringLiteral("cannot set up the MPEG-4 container"), result);
    muxer->pb = sink.io();
    muxer->url = av_strdup(QFile::encodeName(path).constData()); // lets the muxer check the extension
    muxer->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
    AVStream *stream = avformat_new_stream(muxer.get(), nullptr);
    if (!stream)
        fail(path, QStringLiteral("out of memory"));
    if ((result = avcodec_parameters_copy(stream->codecpar, parameters)) < 0)
        failCode(path, QStringLiteral("cannot describe the audio stream"), result);
    stream->codecpar->codec_tag = 0;
    stream->time_base = timeBase;
    if ((result = avformat_write_header(muxer.get(), options)) < 0)
        failCode(path, QStringLiteral("cannot write the file header"), result);
    return muxer;
}

} // namespace

struct AacFileWriter::State
{
    QString path;
    PcmFormat inputFormat;
    AacEncoding encoding;

    std::unique_ptr<FileSink> file;
    ffmpeg::OutputFormat muxer; // declared after `file`: freed before the sink it writes into
    ffmpeg::CodecContext encoder;
    std::unique_ptr<PcmConverter> converter;
    ffmpeg::Fifo fifo;
    ffmpeg::Frame frame;
    ffmpeg::Packet packet;

    std::int64_t nextPts = 0;                                                          // encoder samples sent so far
    std::chrono::steady_clock::time_point lastSync = std::chrono::steady_clock::now(); // of the last fdatasync
    std::uint64_t inputFrames = 0;                                                     // frames taken by write()
    bool fragmentedClosed = false; // the fragmented file was ended (trailer written once) and closed
    QString closeFailure;          // why ending it failed; empty when it worked
    bool finished = false;         // rewritten as a plain file
    bool discarded = false;

    void sendPackets()
    {
        AVStream *stream = muxer->streams[0];
        int result;
        while ((result = avcodec_receive_packet(encoder.get(), packet.get())) == 0) {
            av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
            packet->stream_index = 0;
            if ((result = av_interleaved_write_frame(muxer.get(), packet.get())) < 0)
                failCode(path, QStringLiteral("cannot write audio"), result);
        }
        if (result != AVERROR(EAGAIN) && result != AVERROR_EOF)
            failCode(path, QStringLiteral("cannot encode audio"), result);
        // Fragments close once per fragmentDuration of audio; the disk sync goes by the clock instead (the same
        // pace while recording, far fewer syncs when encoding faster than real time).
        const auto now = std::chrono::steady_clock::now();
        if (now - lastSync >= kSyncInterval) {
            lastSync = now;
            if ((result = file->syncToDisk()) < 0)
                failCode(path, QStringLiteral("cannot write audio"), result);
        }
    }

    // Encodes every whole encoder frame waiting in the FIFO; with `all`, also the last partial one.
    void encodeWaiting(bool all)
    {
        while (av_audio_fifo_size(fifo.get()) >= encoder->frame_size || (all && av_audio_fifo_size(fifo.get()) > 0)) {
            const int samples = std::min(av_audio_fifo_size(fifo.get()), encoder->frame_size);
            int result = av_frame_make_writable(frame.get());
            if (result < 0)
                failCode(path, QStringLiteral("cannot encode audio"), result);
            frame->nb_samples = samples;
            av_audio_fifo_read(fifo.get(), reinterpret_cast<void **>(frame->data), samples);
            frame->pts = nextPts;
            nextPts += samples;
            if ((result = avcodec_send_frame(encoder.get(), frame.get())) < 0)
                failCode(path, QStringLiteral("cannot encode audio"), result);
            sendPackets();
        }
    }

    void queue(const PcmBuffer &converted)
    {
        if (converted.isEmpty())
            return;
        std::vector<void *> planes;
        for (int channel = 0; channel < converted.format().channels; ++channel)
            planes.push_back(const_cast<std::byte *>(converted.channelBytes(channel).data()));
        if (av_audio_fifo_write(fifo.get(), planes.data(), int(converted.frameLength())) < int(converted.frameLength()))
            fail(path, QStringLiteral("out of memory"));
    }

    // Ends the fragmented file (remaining audio, trailer) and closes it, once: FFmpeg tears the muxer down in
    // av_write_trailer whether or not it succeeds, so a second call would work on freed state. A failure
    // leaves the file as the disk holds it.
    void closeFragmented()
    {
        fragmentedClosed = true;
        try {
            queue(converter->flush());
            encodeWaiting(true);
            const int result = avcodec_send_frame(encoder.get(), nullptr);
            if (result < 0 && result != AVERROR_EOF)
                failCode(path, QStringLiteral("cannot encode audio"), result);
            sendPackets();
        } catch (const std::exception &error) {
            closeFailure = QString::fromUtf8(error.what());
        }
        // The audio that did reach the muxer is still worth a proper end.
        int result = av_write_trailer(muxer.get());
        if (result >= 0)
            result = file->syncToDisk();
        if (result < 0 && closeFailure.isEmpty())
            closeFailure = QStringLiteral("%1: cannot end the file: %2").arg(path, ffmpeg::errorText(result));
        muxer.reset();
        file.reset();
        if (!closeFailure.isEmpty())
            throw AudioFileError(closeFailure.toStdString());
    }

    // Rewrites the closed fragmented file as a plain MPEG-4 file beside it, then renames it over the original.
    void rewritePlain()
    {
        // Without audio a plain file would hold no track at all; the fragmented one keeps its empty track.
        if (nextPts == 0)
            return;
        const QFileInfo info(path);
        const QString temporary = info.dir().filePath(
            QStringLiteral(".%1.%2.partial.%3")
                .arg(info.completeBaseName(), QUuid::createUuid().toString(QUuid::Id128), info.suffix()));
        try {
            AVFormatContext *raw = nullptr;
            int result = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr);
            ffmpeg::InputFormat input(raw);
            if (result < 0)
                failCode(path, QStringLiteral("cannot reopen the recording"), result);
            if ((result = avformat_find_stream_info(input.get(), nullptr)) < 0 || input->nb_streams < 1)
                failCode(path, QStringLiteral("cannot read the recording"), result);
            const AVStream *source = input->streams[0];

            auto sink = FileSink::create(temporary);
            ffmpeg::OutputFormat output = openMuxer(temporary, *sink, source->codecpar, source->time_base, nullptr);
            const AVRational outputBase = output->streams[0]->time_base;
            // A fragmented file keeps neither the encoder's priming nor the true end of its last frame; put
            // both back, so the plain file's edit list trims them and its duration is the audio taken.
            const AVRational encoderBase = encoder->time_base;
            const std::int64_t priming = av_rescale_q(encoder->initial_padding, encoderBase, source->time_base);
            const std::int64_t end = av_rescale_q(nextPts, encoderBase, source->time_base);
            ffmpeg::Packet copy(av_packet_alloc());
            while ((result = av_read_frame(input.get(), copy.get())) >= 0) {
                if (copy->pts != AV_NOPTS_VALUE)
                    copy->pts -= priming;
                if (copy->dts != AV_NOPTS_VALUE)
                    copy->dts -= priming;
                if (copy->pts != AV_NOPTS_VALUE && copy->pts + copy->duration > end)
                    copy->duration = std::max<std::int64_t>(end - copy->pts, 0);
                av_packet_rescale_ts(copy.get(), source->time_base, outputBase);
                copy->stream_index = 0;
                copy->pos = -1;
                if ((result = av_interleaved_write_frame(output.get(), copy.get())) < 0)
                    failCode(temporary, QStringLiteral("cannot write audio"), result);
            }
            if (result != AVERROR_EOF)
                failCode(path, QStringLiteral("cannot read the recording"), result);
            if ((result = av_write_trailer(output.get())) < 0 || (result = sink->syncToDisk()) < 0)
                failCode(temporary, QStringLiteral("cannot end the file"), result);
            output.reset();
            sink.reset();
            if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
                fail(path, QStringLiteral("cannot replace the recording: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
        } catch (...) {
            QFile::remove(temporary);
            throw;
        }
        // Make the rename itself durable.
        const int directory =
            ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (directory >= 0) {
            ::fsync(directory);
            ::close(directory);
        }
    }
};

AacFileWriter::AacFileWriter(std::unique_ptr<State> state) : d(std::move(state)) {}

std::unique_ptr<AacFileWriter> AacFileWriter::create(const QString &path, const PcmFormat &inputFormat,
                                                     const AacEncoding &encoding)
{
    if (inputFormat.sampleRate <= 0 || inputFormat.channels <= 0)
        fail(path, QStringLiteral("invalid input format"));
    if (encoding.sampleRate <= 0 || encoding.channels <= 0 || encoding.bitRate <= 0)
        fail(path, QStringLiteral("invalid AAC settings"));

    auto state = std::make_unique<State>();
    state->path = path;
    state->inputFormat = inputFormat;
    state->encoding = encoding;

    const AVCodec *codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        fail(path, QStringLiteral("FFmpeg has no AAC encoder"));
    state->encoder.reset(avcodec_alloc_context3(codec));
    if (!state->encoder)
        fail(path, QStringLiteral("out of memory"));
    AVCodecContext *encoder = state->encoder.get();
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = encoding.sampleRate;
    av_channel_layout_default(&encoder->ch_layout, encoding.channels);
    encoder->bit_rate = encoding.bitRate;
    encoder->time_base = AVRational{1, encoding.sampleRate};
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER; // MPEG-4 keeps the decoder configuration in the header
    if (const int result = avcodec_open2(encoder, codec, nullptr); result < 0)
        failCode(path, QStringLiteral("cannot open the AAC encoder"), result);

    try {
        state->converter = std::make_unique<PcmConverter>(
            inputFormat, PcmFormat{SampleType::Float32, encoding.sampleRate, encoding.channels});
    } catch (const std::exception &e) {
        fail(path, QString::fromUtf8(e.what()));
    }
    state->fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, encoding.channels, encoder->frame_size * 8));
    state->frame.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->fifo || !state->frame || !state->packet)
        fail(path, QStringLiteral("out of memory"));
    state->frame->format = AV_SAMPLE_FMT_FLTP;
    state->frame->sample_rate = encoding.sampleRate;
    state->frame->nb_samples = encoder->frame_size;
    av_channel_layout_copy(&state->frame->ch_layout, &encoder->ch_layout);
    if (const int result = av_frame_get_buffer(state->frame.get(), 0); result < 0)
        failCode(path, QStringLiteral("out of memory"), result);

    state->file = FileSink::create(path);
    try {
        AVCodecParameters *parameters = avcodec_parameters_alloc();
        avcodec_parameters_from_context(parameters, encoder);
        AVDictionary *options = nullptr;
        // Fragmented while recording: an empty header, then a self-contained fragment every fragmentDuration.
        av_dict_set(&options, "movflags", "empty_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration",
                    std::to_string(std::chrono::microseconds(fragmentDuration).count()).c_str(), 0);
        try {
            state->muxer = openMuxer(path, *state->file, parameters, encoder->time_base, &options);
        } catch (...) {
            av_dict_free(&options);
            avcodec_parameters_free(&parameters);
            throw;
        }
        av_dict_free(&options);
        avcodec_parameters_free(&parameters);
        if (const int result = state->file->syncToDisk(); result < 0)
            failCode(path, QStringLiteral("cannot write the file header"), result);
    } catch (...) {
        state->muxer.reset();
        state->file.reset();
        QFile::remove(path);
        throw;
    }
    qCDebug(lcWriter).noquote() << "writing" << path;
    return std::unique_ptr<AacFileWriter>(new AacFileWriter(std::move(state)));
}

AacFileWriter::~AacFileWriter()
{
    if (!d || d->fragmentedClosed || d->discarded)
        return;
    try {
        d->closeFragmented();
    } catch (const std::exception &e) {
        qCWarning(lcWriter).noquote() << "closing without finish:" << e.what();
    }
}

void AacFileWriter::write(const PcmBuffer &buffer)
{
    if (d->fragmentedClosed || d->discarded)
        fail(d->path, QStringLiteral("the file is already closed"));
    d->queue(d->converter->convert(buffer));
    d->inputFrames += buffer.frameLength();
    d->encodeWaiting(false);
}

void AacFileWriter::finish()
{
    if (d->finished)
        return;
    if (d->discarded)
        fail(d->path, QStringLiteral("the file was discarded"));
    if (!d->closeFailure.isEmpty())
        throw AudioFileError(d->closeFailure.toStdString());
    if (!d->fragmentedClosed)
        d->closeFragmented();
    d->rewritePlain();
    d->finished = true;
    qCDebug(lcWriter).noquote() << "finished" << d->path << writtenSeconds() << "s";
}

bool AacFileWriter::isFinished() const
{
    return d->finished;
}

void AacFileWriter::discard()
{
    d->muxer.reset();
    d->file.reset();
    d->discarded = true;
    QFile::remove(d->path);
}

const QString &AacFileWriter::path() const
{
    return d->path;
}

const PcmFormat &AacFileWriter::inputFormat() const
{
    return d->inputFormat;
}

double AacFileWriter::writtenSeconds() const
{
    return double(d->inputFrames) / double(d->inputFormat.sampleRate);
}

} // namespace brelta::platform
