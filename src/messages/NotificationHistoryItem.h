#pragma once

#include "backend/records/ApiMessages.h"
#include "platform/Json.h"

#include <QDateTime>

namespace brelta::messages {

// One shown message as the history keeps it: {"dateShown": number, "message": {…}}. dateShown counts
// seconds (with a fraction) since 2001-01-01 00:00:00 UTC, the form older installations stored; the
// number is kept as read, so a history written back keeps every digit it had.
struct NotificationHistoryItem
{
    double dateShown = 0;
    backend::ApiMessages::Message message;

    static NotificationHistoryItem make(const QDateTime &shownAt, const backend::ApiMessages::Message &message);

    // When the message entered the history, in UTC.
    QDateTime shownAt() const;

    // Fails on a dateShown that is not a number or names no date between the years 1 and 9999.
    static NotificationHistoryItem fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
};

} // namespace brelta::messages
