#pragma once

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/PcmBuffer.h"

#include <QString>

#include <memory>
#include <optional>

namespace brelta::platform {

// Decodes the first audio stream of any file FFmpeg can read (MPEG-4/AAC, WebM/Opus, WAV, MP3, …) into
// PCM blocks, from the start to the end, in the order they play.
//
// Blocks come as 32-bit float at the stream's own sample rate and channel count: the reader changes the
// sample encoding only. Turning them into another rate or channel count is the consumer's affair (the AAC
// writer does it with its PcmConverter). Encoder priming and padding that the file marks as such are
// dropped, so the frames add up to the length a listener hears.
//
// Not thread-safe; one thread at a time may use a reader (it may move between threads).
class AudioFileReader
{
public:
    // Opens `path` and its decoder. Throws AudioFileError (naming the file) when there is no file, no audio
    // stream, or no decoder for it.
    static std::unique_ptr<AudioFileReader> open(const QString &path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader &) = delete;
    AudioFileReader &operator=(const AudioFileReader &) = delete;

    // The format of every block read(): Float32, the stream's rate and channels.
    const PcmFormat &format() const;

    // The next decoded block (one codec frame, typically 1024 frames for AAC, never empty), or nothing
    // once the stream has ended. Throws AudioFileError when the file cannot be read or decoded further;
    // the blocks returned before stay valid.
    std::optional<PcmBuffer> read();

    // Frames returned so far.
    std::uint64_t framesRead() const;

    const QString &path() const;

private:
    struct State;
    explicit AudioFileReader(std::unique_ptr<State> state);
    std::unique_ptr<State> d;
};

} // namespace brelta::platform
