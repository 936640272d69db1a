#pragma once

#include <QDateTime>

#include <optional>

// Stored histories keep their dates as a number: seconds since 2001-01-01 00:00:00 UTC, with a fraction.
// Records write and read such a field through these two functions.
namespace brelta::platform::format {

// 2001-01-01 00:00:00 UTC.
QDateTime referenceDate();

// Seconds from the reference date to `moment` (negative before it), to the millisecond.
double secondsSinceReferenceDate(const QDateTime &moment);

// The moment that many seconds after the reference date, in UTC. Nothing for a value that is not finite or
// lies beyond the years 1 to 9999, so a damaged stored number is refused instead of read as some date.
std::optional<QDateTime> dateFromReferenceSeconds(double seconds);

} // namespace brelta::platform::format
