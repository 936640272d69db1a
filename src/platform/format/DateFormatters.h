#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTimeZone>

// Dates as the screens show them. Timestamps that travel to the backend or into stored values are
// written by platform/WireTime.h, never by these.
namespace brelta::platform::format {

// "Mar 5 at 2:07 PM": month and AM/PM in the words of `locale`, the time in `zone`. Empty for an invalid
// moment.
QString dayAndTime(const QDateTime &moment, const QLocale &locale = QLocale(),
                   const QTimeZone &zone = QTimeZone::systemTimeZone());

// "2:07 PM".
QString timeOfDay(const QDateTime &moment, const QLocale &locale = QLocale(),
                  const QTimeZone &zone = QTimeZone::systemTimeZone());

// The last whole second of the day `moment` falls on in `zone`: one second before the next day starts.
// On a day that ends in a daylight-saving change this is still 23:59:59 on the clock, which the last
// millisecond of the calendar day (QDate::endOfDay) is not when midnight is skipped. Invalid in, invalid out.
QDateTime endOfDay(const QDateTime &moment, const QTimeZone &zone = QTimeZone::systemTimeZone());

} // namespace brelta::platform::format
