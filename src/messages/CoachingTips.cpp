#include "messages/CoachingTips.h"

namespace brelta::messages {

bool isCoachingTipTime(const QDateTime &localTime)
{
    // dayOfWeek() counts Monday as 1 and Sunday as 7.
    const int day = localTime.date().dayOfWeek();
    const int hour = localTime.time().hour();
    return day >= Qt::Monday && day <= Qt::Friday && hour >= 9 && hour <= 17;
}

backend::ApiMessages::Message coachingTipMessage(const QString &tip, qint64 number)
{
    namespace Api = backend::ApiMessages;
    Api::Message message;
    message.messageId = QStringLiteral("coaching-tip-") + QString::number(number);
    message.content.simpleText = Api::SimpleTextMessageContent{QStringLiteral("Coaching tip"), tip};
    message.schedule.asap = Api::AsapMessageSchedule{};
    return message;
}

} // namespace brelta::messages
