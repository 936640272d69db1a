#pragma once

// Messages as tests build them: one of each content kind, with the schedule given.

#include "backend/records/ApiMessages.h"

#include <optional>

namespace brelta::testsupport::messages {

namespace Api = backend::ApiMessages;

enum class Kind { SimpleText, MeetingReport, EventStart, EventEnd, Empty };

inline Api::Message message(const QString &id, Kind kind = Kind::SimpleText, std::optional<QString> slot = {})
{
    Api::Message m;
    m.messageId = id;
    m.slot = slot;
    switch (kind) {
    case Kind::SimpleText:
        m.content.simpleText = Api::SimpleTextMessageContent{QStringLiteral("Title ") + id, QStringLiteral("Body")};
        break;
    case Kind::MeetingReport:
        m.content.meetingReport =
            Api::MeetingReportMessageContent{QStringLiteral("Your report"),
                                             QStringLiteral("You spoke clearly."),
                                             QStringLiteral("https://app.brelta.test/coach/sessions"),
                                             std::nullopt,
                                             std::nullopt,
                                             std::nullopt};
        break;
    case Kind::EventStart:
        m.content.eventStartReminder = Api::EventStartReminderMessageContent{
            QStringLiteral("Standup"), QStringLiteral("Starts soon"), QStringLiteral("Breathe"), std::nullopt};
        break;
    case Kind::EventEnd:
        m.content.eventEndReminder = Api::EventEndReminderMessageContent{};
        break;
    case Kind::Empty:
        break;
    }
    m.schedule.asap = Api::AsapMessageSchedule{};
    return m;
}

} // namespace brelta::testsupport::messages
