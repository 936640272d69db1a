#include "platform/format/DateFormatters.h"

namespace brelta::platform::format {

namespace {

// "AP" rather than "a": Qt prints "a" in lower case, and the screens show "PM".
QString formatted(const QDateTime &moment, const QLocale &locale, const QTimeZone &zone, const QString &pattern)
{
    if (!moment.isValid())
        return {};
    return locale.toString(moment.toTimeZone(zone), pattern);
}

} // namespace

QString dayAndTime(const QDateTime &moment, const QLocale &locale, const QTimeZone &zone)
{
    return formatted(moment, locale, zone, QStringLiteral("MMM d 'at' h:mm AP"));
}

QString timeOfDay(const QDateTime &moment, const QLocale &locale, const QTimeZone &zone)
{
    return formatted(moment, locale, zone, QStringLiteral("h:mm AP"));
}

QDateTime endOfDay(const QDateTime &moment, const QTimeZone &zone)
{
    if (!moment.isValid())
        return {};
    const QDate day = moment.toTimeZone(zone).date();
    return day.addDays(1).startOfDay(zone).addSecs(-1);
}

} // namespace brelta::platform::format
