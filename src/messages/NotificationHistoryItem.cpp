#include "messages/NotificationHistoryItem.h"

#include "platform/format/ReferenceDate.h"

namespace brelta::messages {

using platform::format::dateFromReferenceSeconds;
using platform::format::secondsSinceReferenceDate;

NotificationHistoryItem NotificationHistoryItem::make(const QDateTime &shownAt,
                                                      const backend::ApiMessages::Message &message)
{
    return {secondsSinceReferenceDate(shownAt), message};
}

QDateTime NotificationHistoryItem::shownAt() const
{
    return dateFromReferenceSeconds(dateShown).value_or(QDateTime());
}

NotificationHistoryItem NotificationHistoryItem::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    const platform::JsonReader date = reader.field("dateShown");
    const double seconds = date.as<double>();
    if (!dateFromReferenceSeconds(seconds))
        throw platform::JsonDecodeError(date.path(), "the number names no date");
    return {seconds, reader.required<backend::ApiMessages::Message>("message")};
}

nlohmann::ordered_json NotificationHistoryItem::toJson() const
{
    return platform::JsonObjectWriter().add("dateShown", dateShown).add("message", message).take();
}

} // namespace brelta::messages
