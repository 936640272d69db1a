#include "shell/LoggingServices.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLoggingServices, "brelta.shell.LoggingServices")

namespace brelta::shell {

void LoggingCalendarService::restoreSession()
{
    qCInfo(lcLoggingServices) << "calendar: no calendar service in this build; nothing to restore";
}

void LoggingCalendarService::scheduleIntegrationReminder()
{
    qCInfo(lcLoggingServices) << "calendar: no calendar service in this build; no integration reminder";
}

void LoggingCalendarService::disconnect()
{
    qCInfo(lcLoggingServices) << "calendar: no calendar service in this build; nothing to disconnect";
}

void LoggingMessageService::startMessagesPolling(std::chrono::seconds interval)
{
    qCInfo(lcLoggingServices) << "messages: no message service in this build; polling every" << interval.count()
                              << "s not started";
}

void LoggingMessageService::scheduleCoachingTips()
{
    qCInfo(lcLoggingServices) << "messages: no message service in this build; no coaching tips";
}

void LoggingMessageService::stopTimers()
{
    qCInfo(lcLoggingServices) << "messages: no message service in this build; no timers to stop";
}

} // namespace brelta::shell
