#pragma once

#include "platform/audio/PcmBuffer.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace brelta::recording {

// Decodes an audio file while it is still being written, so that a long recording needs no long conversion
// at its end: the bytes go into a pipe, and a thread of the decoder's own reads the pipe with
// platform::AudioFileReader, block by block, as the bytes come.
//
// The thread hands every decoded block to `blockDecoded` and then, once, tells `ended` how the stream ended
// (an empty text when it ended whole). Both run on the decoder's thread and must only queue work elsewhere.
// After a decoding failure the thread goes on reading and dropping, so that writing never blocks for good.
class ChunkStreamDecoder
{
public:
    using BlockDecoded = std::function<void(platform::PcmBuffer block)>;
    using Ended = std::function<void(QString failure)>;

    // Throws std::runtime_error when the pipe or the thread cannot be made.
    ChunkStreamDecoder(BlockDecoded blockDecoded, Ended ended);
    // Ends the stream and waits for the thread.
    ~ChunkStreamDecoder();
    ChunkStreamDecoder(const ChunkStreamDecoder &) = delete;
    ChunkStreamDecoder &operator=(const ChunkStreamDecoder &) = delete;

    // Passes the next bytes of the file on; blocks while the decoder is behind. Throws std::runtime_error
    // when the stream has been ended.
    void write(const QByteArray &bytes);
    // Ends the stream: the thread decodes what is left, tells `ended`, and finishes.
    void endInput();
    // endInput(), then waits until the thread has finished.
    void finish();

private:
    void run();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    BlockDecoded m_blockDecoded;
    Ended m_ended;
    std::thread m_thread;
};

} // namespace brelta::recording
