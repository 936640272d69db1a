#pragma once

#include "shell/Services.h"

namespace brelta::shell {

// Stand-ins for the calendar and message services until those are built: every call is logged and
// nothing else happens, so the launch sequence and the sign-out already call them in their places.
class LoggingMessageService final : public MessageService
{
public:
    void startMessagesPolling(std::chrono::seconds interval) override;
    void scheduleCoachingTips() override;
    void stopTimers() override;
    void clearProcessedMessageIds() override;
    void clearMessagesAndHistory() override;
};

} // namespace brelta::shell
