#include "recording/web/ChunkStreamDecoder.h"

#include "platform/audio/AudioFileReader.h"

#include <QLoggingCategory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcChunkDecoder, "brelta.recording.ChunkStreamDecoder")

namespace brelta::recording {

ChunkStreamDecoder::ChunkStreamDecoder(BlockDecoded blockDecoded, Ended ended)
    : m_blockDecoded(std::move(blockDecoded))
    , m_ended(std::move(ended))
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe for decoding: ") + std::strerror(errno));
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &error) {
        ::close(m_readEnd);
        ::close(m_writeEnd);
        throw std::runtime_error(std::string("cannot start the decoding thread: ") + error.what());
    }
}

ChunkStreamDecoder::~ChunkStreamDecoder()
{
    finish();
}

void ChunkStreamDecoder::write(const QByteArray &bytes)
{
    if (m_writeEnd < 0)
        throw std::runtime_error("the decoded stream has ended");
    const char *at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_writeEnd, at, std::size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            // Only a broken pipe could bring us here, and the thread keeps its end open until the end.
            throw std::runtime_error(std::string("cannot pass audio to the decoder: ") + std::strerror(errno));
        }
        at += written;
        left -= written;
    }
}

void ChunkStreamDecoder::endInput()
{
    if (m_writeEnd >= 0) {
        ::close(m_writeEnd);
        m_writeEnd = -1;
    }
}

void ChunkStreamDecoder::finish()
{
    endInput();
    if (m_thread.joinable())
        m_thread.join();
    if (m_readEnd >= 0) {
        ::close(m_readEnd);
        m_readEnd = -1;
    }
}

void ChunkStreamDecoder::run()
{
    QString failure;
    try {
        // FFmpeg's pipe protocol reads the descriptor and leaves it open; we close it once the thread is done.
        const std::unique_ptr<platform::AudioFileReader> reader =
            platform::AudioFileReader::open(QStringLiteral("pipe:%1").arg(m_readEnd));
        while (std::optional<platform::PcmBuffer> block = reader->read())
            m_blockDecoded(std::move(*block));
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    // Whatever is still coming is read and dropped: the writer must never wait on a reader that gave up.
    char sink[65536];
    for (;;) {
        const ssize_t got = ::read(m_readEnd, sink, sizeof sink);
        if (got == 0 || (got < 0 && errno != EINTR))
            break;
    }
    if (!failure.isEmpty())
        qCWarning(lcChunkDecoder).noquote() << "decoding the recording stopped:" << failure;
    m_ended(failure);
}

} // namespace brelta::recording
