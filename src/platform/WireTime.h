#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

namespace brelta::platform::wiretime {

// Timestamps as the backend writes them. Digits are always ASCII and dates always Gregorian, whatever
// the user's locale and calendar.
//
//   with offset:    "2024-03-05T14:07:09+0100"   (yyyy-MM-dd'T'HH:mm:ssZ; UTC is "+0000")
//   local, no zone: "2024-03-05T14:07:09"        (yyyy-MM-dd'T'HH:mm:ss)
//
// Fractions of a second are dropped, not rounded. An invalid QDateTime formats as an empty text.

// `moment` in `zone`, followed by that zone's offset at that moment.
QString formatWithOffset(const QDateTime &moment, const QTimeZone &zone = QTimeZone::systemTimeZone());

// Reads the form above; the offset may also be written "+01:00" or "Z". The result carries the parsed
// offset, so it names the same instant in every zone. Nothing for any other text or an impossible date.
std::optional<QDateTime> parseWithOffset(QStringView text);

// The wall-clock reading of `moment` in `zone`, without a zone.
QString formatLocal(const QDateTime &moment, const QTimeZone &zone = QTimeZone::systemTimeZone());

// The wall-clock reading taken in `zone`. Nothing for any other text or an impossible date.
std::optional<QDateTime> parseLocal(QStringView text, const QTimeZone &zone = QTimeZone::systemTimeZone());

} // namespace brelta::platform::wiretime
