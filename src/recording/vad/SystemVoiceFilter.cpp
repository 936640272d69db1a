#include "recording/vad/SystemVoiceFilter.h"

namespace brelta::recording {

using platform::PcmBuffer;

void SystemVoiceFilter::process(const PcmBuffer &block, bool systemHasVoice, const Write &write)
{
    if (systemHasVoice) {
        if (m_held) {
            write(silenceLike(*m_held));
            m_held.reset();
        }
        write(silenceLike(block));
        return;
    }
    if (m_held)
        write(*m_held);
    m_held = platform::pcm::copy(block);
}

void SystemVoiceFilter::flush(const Write &write)
{
    if (!m_held)
        return;
    write(*m_held);
    m_held.reset();
}

PcmBuffer SystemVoiceFilter::silenceLike(const PcmBuffer &block)
{
    // The silence replaces exactly the frames it stands for, so the file keeps the microphone's timeline
    // (the recording's length and its upload's time span stay true).
    PcmBuffer silence(block.format(), block.frameLength());
    silence.setFrameLength(block.frameLength());
    return silence;
}

} // namespace brelta::recording
