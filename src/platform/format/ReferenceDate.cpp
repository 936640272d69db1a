#include "platform/format/ReferenceDate.h"

#include <QTimeZone>

#include <cmath>

namespace brelta::platform::format {

QDateTime referenceDate()
{
    return QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
}

double secondsSinceReferenceDate(const QDateTime &moment)
{
    return double(referenceDate().msecsTo(moment)) / 1000.0;
}

std::optional<QDateTime> dateFromReferenceSeconds(double seconds)
{
    // About ±8000 years: beyond that the milliseconds overflow long before QDateTime would say so.
    constexpr double kLimit = 2.5e11;
    if (!std::isfinite(seconds) || std::fabs(seconds) > kLimit)
        return std::nullopt;
    const QDateTime moment = referenceDate().addMSecs(qint64(std::llround(seconds * 1000.0)));
    if (!moment.isValid() || moment.date().year() < 1 || moment.date().year() > 9999)
        return std::nullopt;
    return moment;
}

} // namespace brelta::platform::format
