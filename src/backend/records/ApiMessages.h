#pragma once

#include "platform/Json.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// Records of in-app messaging: the answers of the messaging service and the message the rest of the
// application schedules, shows and keeps in its shown-message history. Message and everything inside it
// is also a stored format (JSON text in the settings), so it encodes as well as decodes; encoding and
// decoding again gives the same record.
//
// Keys are the field names exactly; times are kept as the texts the backend sent.
namespace brelta::backend::ApiMessages {

struct SimpleTextMessageContent
{
    QString title;
    QString body;

    static SimpleTextMessageContent fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const SimpleTextMessageContent &) const = default;
};

struct MeetingReportMessageContent
{
    QString messageTitle;
    QString summary;
    // The web page "See more" opens.
    std::optional<QString> dashboardUrl;
    // Start of the meeting, "yyyy-MM-dd'T'HH:mm:ssZ".
    std::optional<QString> meetingTimestamp;
    std::optional<qint64> wordsSaid;
    // Seconds as a decimal number followed by "s", e.g. "1834.5s".
    std::optional<QString> meetingDuration;

    static MeetingReportMessageContent fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const MeetingReportMessageContent &) const = default;

    // meetingDuration in seconds: every "s" removed, the rest read as a number. Nothing when absent or
    // unreadable.
    std::optional<double> meetingDurationSeconds() const;
    // meetingTimestamp as an instant. Nothing when absent or unreadable.
    std::optional<QDateTime> meetingStart() const;
};

struct EventStartReminderMessageContent
{
    QString title;
    QString body;
    QString tip;
    std::optional<QString> googleMeetUrl;

    static EventStartReminderMessageContent fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const EventStartReminderMessageContent &) const = default;
};

// No fields: being present is the whole message (the card asks whether the meeting has ended).
struct EventEndReminderMessageContent
{
    static EventEndReminderMessageContent fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const EventEndReminderMessageContent &) const = default;
};

// Alternatives of which the sender sets one. Decoding keeps whichever are present, none or several;
// choosing among them is up to whoever shows the message.
struct MessageContent
{
    std::optional<SimpleTextMessageContent> simpleText;
    std::optional<MeetingReportMessageContent> meetingReport;
    std::optional<EventStartReminderMessageContent> eventStartReminder;
    std::optional<EventEndReminderMessageContent> eventEndReminder;

    static MessageContent fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const MessageContent &) const = default;
};

// No fields: show as soon as possible.
struct AsapMessageSchedule
{
    static AsapMessageSchedule fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const AsapMessageSchedule &) const = default;
};

// A local wall-clock window, "yyyy-MM-dd'T'HH:mm:ss" without a zone.
struct LocalIntervalMessageSchedule
{
    QString earliestLocalIso;
    std::optional<QString> latestLocalIso;

    static LocalIntervalMessageSchedule fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const LocalIntervalMessageSchedule &) const = default;
};

// Alternatives, like MessageContent: none or several may be set.
struct MessageSchedule
{
    std::optional<AsapMessageSchedule> asap;
    std::optional<LocalIntervalMessageSchedule> localInterval;

    static MessageSchedule fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
    bool operator==(const MessageSchedule &) const = default;
};

struct Message
{
    QString messageId;
    // Of the messages scheduled for one slot only the latest stays scheduled.
    std::optional<QString> slot;
    MessageContent content;
    MessageSchedule schedule;

    static Message fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;

    // A message is its id: the same id with other content is the same message.
    bool operator==(const Message &other) const { return messageId == other.messageId; }
};

// Answers of the messaging service; decoded only.

struct MessagesListEntry
{
    QString messageId;
    std::optional<QString> slot;

    static MessagesListEntry fromJson(const platform::JsonReader &reader);
};

// "ListActiveUserMessages"
struct GetMessagesListResponse
{
    // Absent (missing or null) is not the same as an empty list.
    std::optional<std::vector<MessagesListEntry>> entries;

    static GetMessagesListResponse fromJson(const platform::JsonReader &reader);
};

// "GetUserMessage"
struct GetMessageResponse
{
    Message userMessage;

    static GetMessageResponse fromJson(const platform::JsonReader &reader);
};

// "ReportUserMessageInteraction": whatever the body holds is accepted.
struct ReportUserMessageInteractionResponse
{
    static ReportUserMessageInteractionResponse fromJson(const platform::JsonReader &reader);
};

} // namespace brelta::backend::ApiMessages
