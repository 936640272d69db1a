#pragma once

#include <QObject>

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
    virtual void disconnect() = 0;
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
};

// Where the shell learns that the machine is about to sleep or has woken.
class SleepWakeSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void aboutToSleep();
    void woke();
};

} // namespace brelta::shell
