#pragma once

#include "platform/audio/PcmBuffer.h"

#include <functional>
#include <optional>

namespace brelta::recording {

// The privacy rule of the filtered recording, on converted microphone blocks: while the system audio
// carries a voice (the other side of a call is speaking), silence of the same length goes into the file in
// place of the microphone.
//
// Every block is held back until the next one arrives. The system-audio detector needs a few hundred
// milliseconds of speech before it is sure, so a voice it reports now already sounded during the block
// before; holding that block lets the filter silence it too.
//
// Pure logic: no threads, no files. `write` puts one block into the file and throws when it cannot; the
// filter then keeps what it had not written yet, so nothing is dropped on its side.
class SystemVoiceFilter
{
public:
    using Write = std::function<void(const platform::PcmBuffer &)>;

    // Takes the next converted microphone block and what the system audio carries now.
    //  - voice: the held block (if any) and this block are written as silence; nothing stays held.
    //  - no voice: the held block (if any) is written as it is; this block is held.
    // When `write` throws, the exception passes through: a held block whose write failed stays held, and
    // this block is not taken.
    void process(const platform::PcmBuffer &block, bool systemHasVoice, const Write &write);

    // Writes the held block, at the end of the recording. Throws like process(); the block then stays held.
    void flush(const Write &write);

    bool isHolding() const { return m_held.has_value(); }
    // Frames of the held block; 0 when none is held.
    std::uint32_t heldFrames() const { return m_held ? m_held->frameLength() : 0; }

    // Digital silence in `block`'s format, as long as `block`.
    static platform::PcmBuffer silenceLike(const platform::PcmBuffer &block);

private:
    std::optional<platform::PcmBuffer> m_held;
};

} // namespace brelta::recording
