#pragma once

#include "backend/records/ApiMessages.h"

#include <QDateTime>

namespace brelta::messages {

inline constexpr std::chrono::seconds kCoachingTipInterval{5400};
inline constexpr std::chrono::seconds kCoachingTipLookahead{3600};

// Tips are offered Monday to Friday, 09:00:00 to 17:59:59, on the wall clock of `localTime`.
bool isCoachingTipTime(const QDateTime &localTime);

// The message that carries one tip: shown at once, titled "Coaching tip", with the id "coaching-tip-"
// and `number` (signed).
backend::ApiMessages::Message coachingTipMessage(const QString &tip, qint64 number);

} // namespace brelta::messages
