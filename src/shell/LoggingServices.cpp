#include "shell/LoggingServices.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLoggingServices, "brelta.shell.LoggingServices")

namespace brelta::shell {

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

void LoggingMessageService::clearProcessedMessageIds()
{
    qCInfo(lcLoggingServices) << "messages: no message service in this build; no processed ids to clear";
}

void LoggingMessageService::clearMessagesAndHistory()
{
    qCInfo(lcLoggingServices) << "messages: no message service in this build; no messages to clear";
}

} // namespace brelta::shell
