#include "recording/web/WebRecordingWriter.h"

#include "platform/audio/AudioFileInfo.h"
#include "platform/audio/AudioFileReader.h"
#include "recording/web/ChunkStreamDecoder.h"
#include "recording/web/EchoFreeEncoder.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QtEndian>

#include <cmath>
#include <cstdio>

Q_LOGGING_CATEGORY(lcWebWriter, "brelta.recording.WebRecordingWriter")

namespace brelta::recording {

using platform::AudioFileError;
using platform::PcmBuffer;

namespace {

[[noreturn]] void fileError(const QString &path, const QString &what)
{
    throw AudioFileError(QStringLiteral("%1: %2").arg(path, what).toStdString());
}

} // namespace

double completeRecording(EchoFreeEncoder &encoder, const WebRecordingPaths &paths)
{
    double seconds = 0;
    try {
        if (encoder.microphoneSamples() == 0)
            fileError(paths.chunks, QStringLiteral("no audio was recorded"));
        seconds = encoder.finish();
        const platform::AudioFileInfo info = platform::readAudioFileInfo(paths.encoding);
        if (info.codec != QLatin1String("aac") || !(info.durationSeconds > 0)
            || std::abs(info.durationSeconds - seconds) > 0.5)
            fileError(paths.encoding, QStringLiteral("the converted recording does not check out (%1, %2 s of %3 s)")
                                          .arg(info.codec)
                                          .arg(info.durationSeconds)
                                          .arg(seconds));
        if (std::rename(QFile::encodeName(paths.encoding).constData(), QFile::encodeName(paths.output).constData())
            != 0)
            fileError(paths.output, QStringLiteral("cannot move the recording into place: %1")
                                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    } catch (const std::exception &) {
        encoder.discard();
        // An empty chunk file holds nothing worth keeping; anything else stays for a later attempt.
        if (QFileInfo(paths.chunks).size() == 0) {
            QFile::remove(paths.chunks);
            QFile::remove(paths.reference);
        }
        throw;
    }
    QFile::remove(paths.chunks);
    QFile::remove(paths.reference);
    const auto statistics = encoder.statistics();
    qCInfo(lcWebWriter).noquote().nospace()
        << "recording " << paths.output << " complete: " << seconds << " s, echo "
        << (statistics.echoDelayMs ? QStringLiteral("%1 ms late").arg(*statistics.echoDelayMs)
                                   : QStringLiteral("not found"))
        << ", " << statistics.blankedFrames << " of " << statistics.frames << " frames blanked";
    return seconds;
}

WebRecordingPaths WebRecordingPaths::forOutput(const QString &output)
{
    const QFileInfo info(output);
    QString stem = info.fileName();
    if (stem.endsWith(QLatin1String(".m4a"), Qt::CaseInsensitive))
        stem.chop(4);
    const QDir dir = info.dir();
    return {output, dir.filePath(stem + QStringLiteral(".webm")), dir.filePath(stem + QStringLiteral(".reference.wav")),
            dir.filePath(QStringLiteral(".") + stem + QStringLiteral(".partial.m4a"))};
}

std::optional<WebRecordingPaths> WebRecordingPaths::forChunks(const QString &chunks)
{
    const QFileInfo info(chunks);
    if (!info.fileName().endsWith(QLatin1String(".webm")) || info.fileName().startsWith(QLatin1Char('.')))
        return std::nullopt;
    const QString stem = info.fileName().chopped(5);
    return forOutput(info.dir().filePath(stem + QStringLiteral(".m4a")));
}

// What the computer played, as 16-bit mono WAV, so that a crash leaves the canceller's reference beside the
// chunks. Its sizes read "unknown" until it is closed, which readers take as "up to the end of the file".
class WebRecordingWriter::ReferenceFile
{
public:
    explicit ReferenceFile(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fileError(path, QStringLiteral("cannot create the file: %1").arg(m_file.errorString()));
        writeHeader(0xffffffffu);
    }

    void append(std::span<const float> samples)
    {
        QByteArray bytes(qsizetype(samples.size() * 2), Qt::Uninitialized);
        auto *out = reinterpret_cast<uchar *>(bytes.data());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const float clipped = std::clamp(samples[i], -1.0f, 1.0f);
            qToLittleEndian(std::int16_t(std::lround(clipped * 32767.0f)), out + 2 * i);
        }
        write(bytes);
    }

    void appendSilence(std::int64_t samples)
    {
        const QByteArray zeros(qsizetype(std::min<std::int64_t>(samples, 16000)) * 2, '\0');
        for (std::int64_t left = samples; left > 0; left -= zeros.size() / 2)
            write(left >= zeros.size() / 2 ? zeros : zeros.left(qsizetype(left) * 2));
    }

    void close()
    {
        if (!m_file.isOpen())
            return;
        const qint64 data = m_file.size() - 44;
        if (m_file.seek(0))
            writeHeader(std::uint32_t(std::min<qint64>(data, 0xffffffffLL - 36)));
        m_file.close();
    }

    const QString fileName() const { return m_file.fileName(); }

private:
    void write(const QByteArray &bytes)
    {
        if (m_file.write(bytes) != bytes.size())
            fileError(m_file.fileName(), QStringLiteral("cannot write: %1").arg(m_file.errorString()));
    }

    void writeHeader(std::uint32_t dataBytes)
    {
        QByteArray header(44, '\0');
        auto *h = reinterpret_cast<uchar *>(header.data());
        std::memcpy(h, "RIFF", 4);
        qToLittleEndian<std::uint32_t>(dataBytes == 0xffffffffu ? dataBytes : dataBytes + 36, h + 4);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        qToLittleEndian<std::uint32_t>(16, h + 16);
        qToLittleEndian<std::uint16_t>(1, h + 20); // integer PCM
        qToLittleEndian<std::uint16_t>(1, h + 22);
        qToLittleEndian<std::uint32_t>(EchoFreeEncoder::kSampleRate, h + 24);
        qToLittleEndian<std::uint32_t>(EchoFreeEncoder::kSampleRate * 2, h + 28);
        qToLittleEndian<std::uint16_t>(2, h + 32);
        qToLittleEndian<std::uint16_t>(16, h + 34);
        std::memcpy(h + 36, "data", 4);
        qToLittleEndian<std::uint32_t>(dataBytes, h + 40);
        write(header);
    }

    QFile m_file;
};

WebRecordingWriter::WebRecordingWriter(const WebRecordingPaths &paths, Post post, Failed failed)
    : m_paths(paths)
    , m_post(std::move(post))
    , m_failedCallback(std::move(failed))
    , m_chunks(paths.chunks)
    , m_timeline(EchoFreeEncoder::kSampleRate)
{}

WebRecordingWriter::~WebRecordingWriter()
{
    // Dropped mid-recording (the program quits): the decoder thread ends; the chunk and reference files stay
    // for the recovery at the next launch.
    if (m_decoder)
        m_decoder->finish();
}

std::shared_ptr<WebRecordingWriter> WebRecordingWriter::create(const WebRecordingPaths &paths,
                                                               const platform::AacEncoding &encoding, Post post,
                                                               Failed failed)
{
    std::shared_ptr<WebRecordingWriter> writer(new WebRecordingWriter(paths, std::move(post), std::move(failed)));
    try {
        if (!writer->m_chunks.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            fileError(paths.chunks, QStringLiteral("cannot create the file: %1").arg(writer->m_chunks.errorString()));
        writer->m_reference = std::make_unique<ReferenceFile>(paths.reference);
        writer->m_encoder = std::make_unique<EchoFreeEncoder>(paths.encoding, encoding);
        const std::weak_ptr<WebRecordingWriter> weak = writer;
        writer->m_decoder = std::make_unique<ChunkStreamDecoder>(
            [weak](PcmBuffer block) {
                if (const auto self = weak.lock())
                    self->m_post([self, block = std::move(block)] { self->microphoneDecoded(block); });
            },
            [weak](QString failure) {
                if (const auto self = weak.lock())
                    self->m_post([self, failure] { self->microphoneEnded(failure); });
            });
    } catch (const std::exception &error) {
        writer->discard();
        if (dynamic_cast<const AudioFileError *>(&error))
            throw;
        throw AudioFileError(error.what());
    }
    return writer;
}

void WebRecordingWriter::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    qCWarning(lcWebWriter).noquote() << "recording" << m_paths.output << "failed:" << reason;
    // What came so far is kept; decoding it to the end completes the file.
    if (m_decoder)
        m_decoder->endInput();
    m_failedCallback(reason);
}

void WebRecordingWriter::appendChunk(const QByteArray &bytes)
{
    if (m_failed || m_chunksEnded)
        return;
    // Written whole or not at all: a chunk cut short would corrupt every chunk after it.
    if (m_chunks.write(bytes) != bytes.size()) {
        const QString reason = QStringLiteral("failed to write audio data to file: %1").arg(m_chunks.errorString());
        m_chunks.resize(m_chunkBytes);
        fail(reason);
        return;
    }
    m_chunkBytes += bytes.size();
    try {
        m_decoder->write(bytes);
    } catch (const std::exception &error) {
        fail(QString::fromUtf8(error.what()));
    }
}

void WebRecordingWriter::microphoneDecoded(const PcmBuffer &block)
{
    try {
        m_encoder->addMicrophone(block);
    } catch (const std::exception &error) {
        fail(QStringLiteral("cannot encode the recording: %1").arg(QString::fromUtf8(error.what())));
    }
}

void WebRecordingWriter::microphoneEnded(const QString &failure)
{
    if (!failure.isEmpty() && !m_chunksEnded)
        fail(QStringLiteral("the recording cannot be decoded: %1").arg(failure));
    else if (!failure.isEmpty())
        qCWarning(lcWebWriter).noquote() << "the end of the recording cannot be decoded:" << failure;
}

void WebRecordingWriter::setMicrophoneStart(qint64 epochMs)
{
    applyReference(m_timeline.setMicrophoneStart(epochMs));
}

void WebRecordingWriter::appendReference(const PcmBuffer &block, qint64 arrivedAtMs)
{
    if (m_referenceEnded || block.isEmpty() || block.format().sampleRate != EchoFreeEncoder::kSampleRate
        || block.format().channels != 1 || block.floatChannel(0).empty())
        return;
    applyReference(m_timeline.add(block.floatChannel(0).first(block.frameLength()), arrivedAtMs));
}

void WebRecordingWriter::applyReference(const std::vector<ReferenceTimeline::Piece> &pieces)
{
    try {
        for (const ReferenceTimeline::Piece &piece : pieces) {
            if (piece.breaks)
                m_encoder->markBreak();
            if (piece.silence > 0) {
                m_reference->appendSilence(piece.silence);
                m_encoder->addReferenceSilence(piece.silence);
            }
            if (!piece.samples.empty()) {
                m_reference->append(piece.samples);
                m_encoder->addReference(piece.samples);
            }
        }
    } catch (const std::exception &error) {
        fail(QString::fromUtf8(error.what()));
    }
}

void WebRecordingWriter::referenceRestarted()
{
    m_timeline.captureRestarted();
}

void WebRecordingWriter::referenceEnded()
{
    m_referenceEnded = true;
    try {
        m_encoder->endReference();
    } catch (const std::exception &error) {
        fail(QString::fromUtf8(error.what()));
    }
}

void WebRecordingWriter::pause()
{
    m_timeline.pause();
}

void WebRecordingWriter::resume()
{
    m_timeline.resume();
}

void WebRecordingWriter::endChunks()
{
    m_chunksEnded = true;
    m_chunks.close();
    if (m_decoder)
        m_decoder->finish();
}

double WebRecordingWriter::complete()
{
    m_decoder.reset();
    m_reference->close();
    return completeRecording(*m_encoder, m_paths);
}

void WebRecordingWriter::discard()
{
    if (m_decoder)
        m_decoder->finish();
    m_decoder.reset();
    if (m_chunks.isOpen())
        m_chunks.close();
    QFile::remove(m_paths.chunks);
    if (m_reference)
        m_reference->close();
    QFile::remove(m_paths.reference);
    if (m_encoder)
        m_encoder->discard();
    else
        QFile::remove(m_paths.encoding);
}

double completeInterruptedRecording(const WebRecordingPaths &paths, const platform::AacEncoding &encoding)
{
    // Moved into place before the crash, only not yet cleaned up.
    if (QFileInfo::exists(paths.output)) {
        QFile::remove(paths.chunks);
        QFile::remove(paths.reference);
        QFile::remove(paths.encoding);
        return platform::audioFileDuration(paths.output);
    }
    // A half-written encoding is made again from the chunks, which hold all of it.
    QFile::remove(paths.encoding);
    const std::unique_ptr<platform::AudioFileReader> microphone = platform::AudioFileReader::open(paths.chunks);
    std::unique_ptr<platform::AudioFileReader> reference;
    if (QFileInfo::exists(paths.reference)) {
        try {
            reference = platform::AudioFileReader::open(paths.reference);
            if (reference->format().sampleRate != EchoFreeEncoder::kSampleRate || reference->format().channels != 1)
                throw AudioFileError("not the reference this recorder writes");
        } catch (const std::exception &error) {
            qCWarning(lcWebWriter).noquote() << "the interrupted recording's reference is unusable:" << error.what();
            reference.reset();
        }
    }
    EchoFreeEncoder encoder(paths.encoding, encoding);
    if (!reference)
        encoder.endReference();
    const std::int64_t readAhead = 2 * EchoFreeEncoder::kSampleRate;
    for (;;) {
        std::optional<PcmBuffer> block;
        try {
            block = microphone->read();
        } catch (const std::exception &error) {
            // The crash cut the stream: what came before it is the recording.
            qCInfo(lcWebWriter).noquote() << "the interrupted recording ends in a cut:" << error.what();
        }
        if (!block)
            break;
        encoder.addMicrophone(*block);
        while (reference && encoder.referenceSamples() < encoder.microphoneSamples() + readAhead) {
            std::optional<PcmBuffer> played;
            try {
                played = reference->read();
            } catch (const std::exception &) {
            }
            if (!played) {
                reference.reset();
                encoder.endReference();
                break;
            }
            encoder.addReference(played->floatChannel(0).first(played->frameLength()));
        }
    }
    return completeRecording(encoder, paths);
}

} // namespace brelta::recording
