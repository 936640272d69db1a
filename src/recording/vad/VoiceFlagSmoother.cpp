#include "recording/vad/VoiceFlagSmoother.h"

#include <algorithm>

namespace brelta::recording {

bool VoiceFlagSmoother::add(int frameResult)
{
    m_history.push_back(frameResult);
    if (int(m_history.size()) > historySize)
        m_history.pop_front();
    // While the flag is off only voice frames can switch it on, and the other way round.
    const int wanted = m_hasVoice ? 0 : 1;
    const auto agreeing = std::count(m_history.begin(), m_history.end(), wanted);
    if (double(agreeing) / historySize >= switchShare) {
        m_hasVoice = !m_hasVoice;
        m_history.clear();
    }
    return m_hasVoice;
}

} // namespace brelta::recording
