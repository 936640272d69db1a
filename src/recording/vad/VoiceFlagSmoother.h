#pragma once

#include <deque>

namespace brelta::recording {

// Turns per-frame voice decisions into a steady flag: it switches only when 11 of the last 12 frame results
// agree, and forgets the history at each switch, so a switch needs at least 11 new frames after the last.
//
// A result is 1 (voice), 0 (no voice) or -1 (undecided: the detector rejected the frame or did not answer
// in time); undecided results count for neither side but take a place among the 12.
class VoiceFlagSmoother
{
public:
    static constexpr int historySize = 12;
    static constexpr double switchShare = 0.9; // of historySize, always: 11 of 12 switch, 10 do not

    // Adds one frame result and returns the flag after it.
    bool add(int frameResult);

    bool hasVoice() const { return m_hasVoice; }
    const std::deque<int> &history() const { return m_history; }

private:
    bool m_hasVoice = false;
    std::deque<int> m_history;
};

} // namespace brelta::recording
