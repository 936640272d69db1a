#include "messages/MessageTexts.h"

#include "platform/format/DateFormatters.h"
#include "platform/format/WebLink.h"

#include <cstdio>

namespace brelta::messages::texts {

std::optional<QUrl> openableLink(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    return platform::format::openableWebLink(*text);
}

std::optional<QString> formattedDuration(const std::optional<QString> &meetingDuration)
{
    if (!meetingDuration)
        return std::nullopt;
    const QString number = QString(*meetingDuration).remove(QLatin1Char('s'));
    // The whole text must be the number: no spaces around it.
    if (number.isEmpty() || number.trimmed() != number)
        return std::nullopt;
    bool ok = false;
    const double seconds = number.toDouble(&ok);
    if (!ok || !std::isfinite(seconds))
        return std::nullopt;
    if (seconds <= 60)
        return QStringLiteral("under 1 min");
    // C's printf rounds halves to even (2.5 → "2"); QString::asprintf would round them up.
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.0f", seconds / 60);
    const QString minutes = QString::fromLatin1(shown);
    return minutes + QStringLiteral(" minute") + (minutes.toDouble() > 1 ? QStringLiteral("s") : QString());
}

QString elapsedText(qint64 seconds)
{
    if (seconds <= 0)
        return QStringLiteral("00:00");
    return QStringLiteral(" %1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString wordsText(qint64 words)
{
    return QString::number(words) + QStringLiteral(" spoken word") + (words == 1 ? QString() : QStringLiteral("s"));
}

std::optional<QString> formattedDate(const backend::ApiMessages::MeetingReportMessageContent &report)
{
    const std::optional<QDateTime> start = report.meetingStart();
    if (!start)
        return std::nullopt;
    return platform::format::dayAndTime(*start);
}

QString historyTitle(const backend::ApiMessages::Message &message)
{
    if (const auto &report = message.content.meetingReport) {
        const std::optional<QString> date = formattedDate(*report);
        return date ? QStringLiteral("Session on ") + *date : QStringLiteral("Session");
    }
    if (const auto &text = message.content.simpleText)
        return text->title;
    return {};
}

QString historyBody(const backend::ApiMessages::Message &message)
{
    if (const auto &report = message.content.meetingReport)
        return report->summary;
    if (const auto &text = message.content.simpleText)
        return text->body;
    return {};
}

} // namespace brelta::messages::texts
