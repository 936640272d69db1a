#include "platform/WireTime.h"

#include <QRegularExpression>

#include <cstdlib>

namespace brelta::platform::wiretime {

namespace {

// QString::asprintf never localises digits, unlike QLocale or QDateTime::toString with a locale.
QString wallClockText(const QDateTime &inZone)
{
    const QDate date = inZone.date(); // QDate's plain accessors are Gregorian
    const QTime time = inZone.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", date.year(), date.month(), date.day(), time.hour(),
                             time.minute(), time.second());
}

// Qt's date formats have no code for "+0100", so the offset is written by hand.
QString offsetText(int offsetSeconds)
{
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const int magnitude = std::abs(offsetSeconds);
    return QString::asprintf("%c%02d%02d", sign, magnitude / 3600, magnitude % 3600 / 60);
}

struct WallClock
{
    QDate date;
    QTime time;
};

// Reads "yyyy-MM-ddTHH:mm:ss" at the start of `match`; [0-9] rather than \d so no other script's digits pass.
std::optional<WallClock> wallClockFrom(const QRegularExpressionMatch &match)
{
    const auto number = [&match](int group) { return match.capturedView(group).toInt(); };
    const QDate date(number(1), number(2), number(3));
    const QTime time(number(4), number(5), number(6));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return WallClock{date, time};
}

// When `wallClock` falls into a gap of `zone` (a transition that moves the clock forward), the instant of
// that transition; nothing otherwise.
std::optional<QDateTime> firstInstantAfterGap(const WallClock &wallClock, const QTimeZone &zone)
{
    if (!zone.isValid() || !zone.hasTransitions())
        return std::nullopt;
    const QDateTime asUtc(wallClock.date, wallClock.time, QTimeZone::utc());
    // Offsets stay within ±14 h, so a transition whose gap holds the reading lies less than 15 h before it.
    const QTimeZone::OffsetData transition = zone.nextTransition(asUtc.addSecs(-15 * 3600));
    if (!transition.atUtc.isValid())
        return std::nullopt;
    const int offsetBefore = zone.offsetFromUtc(transition.atUtc.addSecs(-1));
    // Wall-clock readings from transition + offsetBefore up to transition + offsetAfter do not exist.
    const qint64 sinceTransition = transition.atUtc.secsTo(asUtc);
    if (sinceTransition < offsetBefore || sinceTransition >= transition.offsetFromUtc)
        return std::nullopt;
    return transition.atUtc.toTimeZone(zone);
}

// Anchored at both ends of the whole text: "$" would also match before a final line break.
const QRegularExpression &withOffsetPattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral(
        "([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})(?:(Z)|([+-])([0-9]{2}):?([0-9]{2}))")));
    return pattern;
}

const QRegularExpression &localPattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})")));
    return pattern;
}

} // namespace

QString formatWithOffset(const QDateTime &moment, const QTimeZone &zone)
{
    if (!moment.isValid())
        return {};
    const QDateTime inZone = moment.toTimeZone(zone);
    return wallClockText(inZone) + offsetText(inZone.offsetFromUtc());
}

std::optional<QDateTime> parseWithOffset(QStringView text)
{
    const QRegularExpressionMatch match = withOffsetPattern().match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<WallClock> wallClock = wallClockFrom(match);
    if (!wallClock)
        return std::nullopt;

    int offsetSeconds = 0;
    if (!match.hasCaptured(7)) {
        const int hours = match.capturedView(9).toInt();
        const int minutes = match.capturedView(10).toInt();
        if (minutes >= 60)
            return std::nullopt;
        offsetSeconds = (hours * 3600 + minutes * 60) * (match.capturedView(8) == u"-" ? -1 : 1);
    }
    const QTimeZone zone(offsetSeconds);
    if (!zone.isValid())
        return std::nullopt;
    const QDateTime result(wallClock->date, wallClock->time, zone);
    if (result.isValid())
        return result;
    // Qt reads a wall-clock time that the zone skips (the hour a spring-forward jumps over) as invalid;
    // it reads as the first instant after the jump, as a user's clock shows it.
    return firstInstantAfterGap(*wallClock, zone);
}

QString formatLocal(const QDateTime &moment, const QTimeZone &zone)
{
    if (!moment.isValid())
        return {};
    return wallClockText(moment.toTimeZone(zone));
}

std::optional<QDateTime> parseLocal(QStringView text, const QTimeZone &zone)
{
    const QRegularExpressionMatch match = localPattern().match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<WallClock> wallClock = wallClockFrom(match);
    if (!wallClock)
        return std::nullopt;
    const QDateTime result(wallClock->date, wallClock->time, zone);
    if (result.isValid())
        return result;
    // Qt reads a wall-clock time that the zone skips (the hour a spring-forward jumps over) as invalid;
    // it reads as the first instant after the jump, as a user's clock shows it.
    return firstInstantAfterGap(*wallClock, zone);
}

} // namespace brelta::platform::wiretime
