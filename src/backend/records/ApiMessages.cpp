#include "backend/records/ApiMessages.h"

#include "platform/WireTime.h"

#include <cmath>

namespace brelta::backend::ApiMessages {

using platform::JsonObjectWriter;
using platform::JsonReader;

namespace {

// Records without fields take any value that is there; only null (or nothing) means "not set", and the
// optional members holding them never get that far.
void expectPresent(const JsonReader &reader)
{
    if (reader.isNull())
        reader.fail("missing (null)");
}

} // namespace

SimpleTextMessageContent SimpleTextMessageContent::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("title"), reader.required<QString>("body")};
}

nlohmann::ordered_json SimpleTextMessageContent::toJson() const
{
    return JsonObjectWriter().add("title", title).add("body", body).take();
}

MeetingReportMessageContent MeetingReportMessageContent::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    MeetingReportMessageContent content;
    content.messageTitle = reader.required<QString>("messageTitle");
    content.summary = reader.required<QString>("summary");
    content.dashboardUrl = reader.optional<QString>("dashboardUrl");
    content.meetingTimestamp = reader.optional<QString>("meetingTimestamp");
    content.wordsSaid = reader.optional<qint64>("wordsSaid");
    content.meetingDuration = reader.optional<QString>("meetingDuration");
    return content;
}

nlohmann::ordered_json MeetingReportMessageContent::toJson() const
{
    return JsonObjectWriter()
        .add("messageTitle", messageTitle)
        .add("summary", summary)
        .addOptional("dashboardUrl", dashboardUrl)
        .addOptional("meetingTimestamp", meetingTimestamp)
        .addOptional("wordsSaid", wordsSaid)
        .addOptional("meetingDuration", meetingDuration)
        .take();
}

std::optional<double> MeetingReportMessageContent::meetingDurationSeconds() const
{
    if (!meetingDuration)
        return std::nullopt;
    bool ok = false;
    const double seconds = QString(*meetingDuration).remove(QLatin1Char('s')).toDouble(&ok);
    if (!ok || !std::isfinite(seconds))
        return std::nullopt;
    return seconds;
}

std::optional<QDateTime> MeetingReportMessageContent::meetingStart() const
{
    if (!meetingTimestamp)
        return std::nullopt;
    return platform::wiretime::parseWithOffset(*meetingTimestamp);
}

EventStartReminderMessageContent EventStartReminderMessageContent::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("title"), reader.required<QString>("body"), reader.required<QString>("tip"),
            reader.optional<QString>("googleMeetUrl")};
}

nlohmann::ordered_json EventStartReminderMessageContent::toJson() const
{
    return JsonObjectWriter()
        .add("title", title)
        .add("body", body)
        .add("tip", tip)
        .addOptional("googleMeetUrl", googleMeetUrl)
        .take();
}

EventEndReminderMessageContent EventEndReminderMessageContent::fromJson(const JsonReader &reader)
{
    expectPresent(reader);
    return {};
}

nlohmann::ordered_json EventEndReminderMessageContent::toJson() const
{
    return platform::emptyJsonObject();
}

MessageContent MessageContent::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<SimpleTextMessageContent>("simpleText"),
            reader.optional<MeetingReportMessageContent>("meetingReport"),
            reader.optional<EventStartReminderMessageContent>("eventStartReminder"),
            reader.optional<EventEndReminderMessageContent>("eventEndReminder")};
}

nlohmann::ordered_json MessageContent::toJson() const
{
    return JsonObjectWriter()
        .addOptional("simpleText", simpleText)
        .addOptional("meetingReport", meetingReport)
        .addOptional("eventStartReminder", eventStartReminder)
        .addOptional("eventEndReminder", eventEndReminder)
        .take();
}

AsapMessageSchedule AsapMessageSchedule::fromJson(const JsonReader &reader)
{
    expectPresent(reader);
    return {};
}

nlohmann::ordered_json AsapMessageSchedule::toJson() const
{
    return platform::emptyJsonObject();
}

LocalIntervalMessageSchedule LocalIntervalMessageSchedule::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("earliestLocalIso"), reader.optional<QString>("latestLocalIso")};
}

nlohmann::ordered_json LocalIntervalMessageSchedule::toJson() const
{
    return JsonObjectWriter()
        .add("earliestLocalIso", earliestLocalIso)
        .addOptional("latestLocalIso", latestLocalIso)
        .take();
}

MessageSchedule MessageSchedule::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<AsapMessageSchedule>("asap"),
            reader.optional<LocalIntervalMessageSchedule>("localInterval")};
}

nlohmann::ordered_json MessageSchedule::toJson() const
{
    return JsonObjectWriter().addOptional("asap", asap).addOptional("localInterval", localInterval).take();
}

Message Message::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("messageId"), reader.optional<QString>("slot"),
            reader.required<MessageContent>("content"), reader.required<MessageSchedule>("schedule")};
}

nlohmann::ordered_json Message::toJson() const
{
    return JsonObjectWriter()
        .add("messageId", messageId)
        .addOptional("slot", slot)
        .add("content", content)
        .add("schedule", schedule)
        .take();
}

MessagesListEntry MessagesListEntry::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("messageId"), reader.optional<QString>("slot")};
}

GetMessagesListResponse GetMessagesListResponse::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<std::vector<MessagesListEntry>>("entries")};
}

GetMessageResponse GetMessageResponse::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<Message>("userMessage")};
}

ReportUserMessageInteractionResponse ReportUserMessageInteractionResponse::fromJson(const JsonReader &)
{
    return {};
}

} // namespace brelta::backend::ApiMessages
