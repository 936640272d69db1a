#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

namespace brelta::calendar {

// One meeting as the calendar reads it.
struct CalendarEvent
{
    QString id; // the iCalendar UID: every occurrence of a recurring series shares it
    QString title;
    std::optional<QUrl> eventUrl;
    std::optional<QDateTime> startDate;
    std::optional<QDateTime> endDate;

    bool operator==(const CalendarEvent &) const = default;
};

} // namespace brelta::calendar
