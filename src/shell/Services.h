#pragma once

#include <chrono>

namespace brelta::shell {

// The calendar service as the launch sequence and the sign-out drive it.
class CalendarService
{
public:
    virtual ~CalendarService() = default;
    // Restores the previous Google sign-in, which starts the hourly sync.
    virtual void restoreSession() = 0;
    virtual void scheduleIntegrationReminder() = 0;
    // Disconnects the calendar: stops its sync, timers and nudges, clears the reminder flags.
    virtual void disconnect() = 0;
    virtual void signOutOfGoogle() = 0;
};

// Message polling and coaching tips as the launch sequence, the recording outcome and the sign-out drive
// them.
class MessageService
{
public:
    virtual ~MessageService() = default;
    virtual void startMessagesPolling(std::chrono::seconds interval) = 0;
    virtual void scheduleCoachingTips() = 0;
    virtual void stopTimers() = 0;
    // Sign-out: forgets which messages were shown, then empties the current messages and the history.
    virtual void clearProcessedMessageIds() = 0;
    virtual void clearMessagesAndHistory() = 0;
};

} // namespace brelta::shell
