#pragma once

#include <QString>

namespace brelta::platform {

// What an audio file holds, read by FFmpeg.
struct AudioFileInfo
{
    QString container;  // FFmpeg's demuxer names, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    QString codec;      // e.g. "aac"
    int sampleRate = 0; // Hz
    int channels = 0;
    qint64 bitRate = 0; // bits per second as the stream declares it; 0 when unknown
    double durationSeconds = 0;
};

// Reads the first audio stream of `path`. The duration comes from a scan of its packets, so it is right for
// plain and fragmented MPEG-4 files alike, including one cut off by a crash. Throws AudioFileError.
AudioFileInfo readAudioFileInfo(const QString &path);

// The length of the recording at `path` in seconds (see readAudioFileInfo). Throws AudioFileError.
double audioFileDuration(const QString &path);

} // namespace brelta::platform
