#pragma once

#include "backend/records/ApiMessages.h"

#include <QString>

namespace brelta::calendar {

// The message engine as the pre-meeting nudges reach it. The shell hands in the engine.
class NudgeScheduler
{
public:
    virtual ~NudgeScheduler() = default;
    // Shows the nudge when its window is open, schedules it for its earliest time, or drops it.
    virtual void processMessage(const backend::ApiMessages::Message &message) = 0;
    // Drops a nudge still waiting for its time; one already shown stays.
    virtual void cancelScheduledMessage(const QString &messageId) = 0;
};

} // namespace brelta::calendar
