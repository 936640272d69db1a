#pragma once

#include <QString>

#include <optional>

namespace brelta::recording {

// The average bit rate of an audio file in bits per second: its size over its length (both as read now).
// Nothing when the file cannot be read as audio; not a finite number when it holds no audio.
std::optional<double> estimateBitrate(const QString &path);

// Files at or above this rate are converted before upload.
inline constexpr double kCompressionThreshold = 48000;
// What the conversion makes: AAC, mono, at the recording's own sample rate.
inline constexpr int kCompressedBitRate = 64000;

struct CompressionResult
{
    enum class Outcome {
        Unchanged, // sent as it is; `detail` says why
        Converted, // the file now holds the converted recording
        Failed,    // the file is as it was; `detail` says what went wrong
    };
    Outcome outcome = Outcome::Unchanged;
    QString detail;
};

// Makes the recording at `path` smaller before it is sent, when that pays: a file whose estimated bit rate
// is 48000 or more, or cannot be estimated, is converted to 64 kbit/s mono AAC in MPEG-4. Files named
// ".opus" and ".m4a" files this step made before (AAC, mono, about 64 kbit/s) are left as they are.
//
// The conversion goes to a temporary "convert_<UUID>.m4a" beside the recording, must open and last within
// half a second of the original, and only then replaces the recording in one rename(). Whatever fails, the
// recording stays as it was and the temporary file is removed. Blocks while converting: run it off the
// main thread. Never throws.
CompressionResult compressForUpload(const QString &path);

} // namespace brelta::recording
