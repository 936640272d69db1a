#pragma once

#include "platform/audio/AacFileWriter.h"
#include "platform/audio/EchoCanceller.h"
#include "platform/audio/PcmBuffer.h"

#include <QString>

#include <memory>
#include <span>

namespace brelta::platform {
class PcmConverter;
}

namespace brelta::recording {

// Writes the microphone, with what the computer played cancelled out of it, as an AAC file: the last stage of
// a web-view recording, while it runs and when a crash left one to finish.
//
// The microphone comes in any format and is brought to 16 kHz mono; the reference comes at 16 kHz mono on
// the microphone's timeline (ReferenceTimeline). Not thread-safe: one thread at a time.
class EchoFreeEncoder
{
public:
    static constexpr int kSampleRate = 16000;

    // Creates the file at `path` (replacing one there). Throws platform::AudioFileError.
    EchoFreeEncoder(const QString &path, const platform::AacEncoding &encoding);
    ~EchoFreeEncoder();
    EchoFreeEncoder(const EchoFreeEncoder &) = delete;
    EchoFreeEncoder &operator=(const EchoFreeEncoder &) = delete;

    // Throw platform::AudioFileError when the file cannot take more.
    void addMicrophone(const platform::PcmBuffer &block);
    void addReference(std::span<const float> samples);
    void addReferenceSilence(std::int64_t samples);
    void markBreak();
    // No reference follows: the rest of the microphone is taken as heard with nothing playing.
    void endReference();

    // Writes the rest and completes the file; returns its seconds of audio. Throws platform::AudioFileError.
    double finish();
    // Closes and deletes the file.
    void discard();

    const QString &path() const;
    // Samples at 16 kHz taken so far.
    std::int64_t microphoneSamples() const { return m_canceller.microphoneSamples(); }
    std::int64_t referenceSamples() const { return m_canceller.referenceSamples(); }
    platform::EchoCanceller::Statistics statistics() const { return m_canceller.statistics(); }

private:
    void write(std::vector<float> samples);
    void keepReferenceAlong();

    platform::EchoCanceller m_canceller;
    std::unique_ptr<platform::AacFileWriter> m_writer;
    std::unique_ptr<platform::PcmConverter> m_converter;
    bool m_referenceEnded = false;
};

} // namespace brelta::recording
