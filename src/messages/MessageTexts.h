#pragma once

#include "backend/records/ApiMessages.h"

#include <QString>
#include <QUrl>

#include <optional>

// The texts the message cards and the notifications panel derive from a message, and the one rule for
// links a backend text may open.
namespace brelta::messages::texts {

// A link that may be handed to the browser: http or https with a host. Anything else (file:, javascript:,
// a bare word) gives nothing, so a text from the backend never opens a local file or runs a handler.
std::optional<QUrl> openableLink(const std::optional<QString> &text);

// "under 1 min" up to 60 s; else whole minutes as C's "%.0f" rounds them (150 s gives "2 minutes").
// Nothing when absent or not a number.
std::optional<QString> formattedDuration(const std::optional<QString> &meetingDuration);

// "00:00" for nothing recorded, else " MM:SS" with its leading space (minutes not capped).
QString elapsedText(qint64 seconds);

// "1 spoken word", "0 spoken words".
QString wordsText(qint64 words);

// "Mar 5 at 2:30 PM" for a readable meeting timestamp; nothing otherwise.
std::optional<QString> formattedDate(const backend::ApiMessages::MeetingReportMessageContent &report);

// The notifications panel's row: a report is "Session on …" (or "Session") over its summary; a simple
// text its title over its body; anything else empty.
QString historyTitle(const backend::ApiMessages::Message &message);
QString historyBody(const backend::ApiMessages::Message &message);

} // namespace brelta::messages::texts
