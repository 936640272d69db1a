#pragma once

#include "platform/audio/PcmBuffer.h"

#include <QString>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace brelta::platform {

// Reading or writing an audio file failed. what() names the file and the reason.
class AudioFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct AacEncoding
{
    int sampleRate = 44100; // Hz
    int channels = 1;
    int bitRate = 32000; // bits per second
};

// Writes PCM as AAC (FFmpeg's native encoder) in an MPEG-4 file (".m4a" gives the M4A brand).
//
// While writing, the file is a fragmented MPEG-4 file with a fragment every fragmentDuration of audio, flushed
// to the disk, so a file cut off by a crash or a power loss still plays up to its last whole fragment. finish()
// rewrites it as a plain MPEG-4 file, atomically (temporary file + rename).
//
// Not thread-safe; one thread at a time may use a writer (it may move between threads).
class AacFileWriter
{
public:
    // Audio a fragment holds: the most a file cut off by a crash loses, plus the encoder's own lag (measured:
    // 1.07 s at most, 0.56 s on average). Shorter fragments lose less and cost more headers and syncs.
    static constexpr std::chrono::milliseconds fragmentDuration{1000};

    // Creates the file at `path`, replacing one that exists, for PCM in `inputFormat` (converted to the
    // encoding's rate and channels as needed). Throws AudioFileError; a failed create leaves no file.
    static std::unique_ptr<AacFileWriter> create(const QString &path, const PcmFormat &inputFormat,
                                                 const AacEncoding &encoding = {});
    // Without finish() the file stays as written so far: fragmented, playable up to its last fragment.
    ~AacFileWriter();
    AacFileWriter(const AacFileWriter &) = delete;
    AacFileWriter &operator=(const AacFileWriter &) = delete;

    // Appends the buffer's frames. Throws AudioFileError (disk full, …) or std::invalid_argument for a buffer
    // in another format.
    void write(const PcmBuffer &buffer);

    // Encodes what is left, closes the fragmented file and rewrites it as a plain MPEG-4 file. Throws
    // AudioFileError; the fragmented file then stays in place, still playable. Calling it again after a
    // failed rewrite retries the rewrite. The fragmented file is ended once, whatever that gives: when ending
    // it fails (a full disk) it keeps what reached the disk, playable up to its last whole fragment, and
    // every later call throws that failure again.
    void finish();
    bool isFinished() const;

    // Closes and deletes the file: for a recording that never really started.
    void discard();

    const QString &path() const;
    const PcmFormat &inputFormat() const;
    // Seconds of input audio taken so far.
    double writtenSeconds() const;

private:
    struct State;
    explicit AacFileWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> d;
};

} // namespace brelta::platform
