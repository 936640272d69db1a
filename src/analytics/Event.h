#pragma once

// The catalogue of usage events. Each record is a plain value: its first field is `name`, starting as the
// record's literal, and `fields()` lists every stored field in declaration order with the snake_case key
// it travels under. The property dictionary, the JSON coding and the tests all walk that one list, so a
// field added here reaches every one of them.

#include "platform/Json.h"

#include <QString>

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace brelta::analytics::event {

// The vocabularies the screens report in. Raw values are what the analytics service receives.
enum class ScreenName {
    OnboardingPopover,
    NotificationsPopover,
    GoogleCalendarIntegrationReminderPopover,
    MainView,
    SettingsView,
    CalendarView,
};

enum class ComponentName {
    PreMeetingNudge,
    StartRecordingButton,
    StopRecordingButton,
    PauseRecordingButton,
    ResumeRecordingButton,
    ConnectGoogleCalendarButton,
    DisconnectGoogleCalendarButton,
    CalendarEventReminderToggle,
    AllowMicrophonePermission,
    AllowSystemAudioPermission,
};

enum class InteractionType { Click, Typing, Scroll };

// Every recording event carries this media type.
inline const QString kAudioMediaType = QStringLiteral("AUDIO");

// A record's `name` starts as its literal; a decoded event keeps the name it was read with.
inline QString literalText(std::string_view literal)
{
    return QString::fromUtf8(literal.data(), qsizetype(literal.size()));
}

struct RecordingStartFailed
{
    static constexpr std::string_view literal = "Recording Start Failed";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
    }
};

struct RecordingStartSucceeded
{
    static constexpr std::string_view literal = "Recording Start Succeeded";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    std::optional<QString> recordingTitle;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("recording_title", self.recordingTitle);
    }
};

struct RecordingPauseFailed
{
    static constexpr std::string_view literal = "Recording Pause Failed";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    QString errorMessage;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("error_message", self.errorMessage);
    }
};

struct RecordingPauseSucceeded
{
    static constexpr std::string_view literal = "Recording Pause Succeeded";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
    }
};

struct RecordingResumeFailed
{
    static constexpr std::string_view literal = "Recording Resume Failed";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    std::optional<QString> errorMessage;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("error_message", self.errorMessage);
    }
};

struct RecordingResumeSucceeded
{
    static constexpr std::string_view literal = "Recording Resume Succeeded";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
    }
};

struct RecordingEndFailed
{
    static constexpr std::string_view literal = "Recording End Failed";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    QString errorMessage;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("error_message", self.errorMessage);
    }
};

struct RecordingEndSucceeded
{
    static constexpr std::string_view literal = "Recording End Succeeded";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    std::optional<QString> recordingTitle;
    std::optional<qint64> recordingLengthSec;
    std::optional<qint64> recordingSizeBytes;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("recording_title", self.recordingTitle);
        visit("recording_length_sec", self.recordingLengthSec);
        visit("recording_size_bytes", self.recordingSizeBytes);
    }
};

struct RecordingUploadStarted
{
    static constexpr std::string_view literal = "Recording Upload Started";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    std::optional<QString> recordingTitle;
    qint64 recordingLengthSec = 0;
    qint64 recordingSizeBytes = 0;
    std::optional<bool> isRetry;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("recording_title", self.recordingTitle);
        visit("recording_length_sec", self.recordingLengthSec);
        visit("recording_size_bytes", self.recordingSizeBytes);
        visit("is_retry", self.isRetry);
    }
};

// The only recording event whose second field is not `media_format`.
struct RecordingUploadFailed
{
    static constexpr std::string_view literal = "Recording Upload Failed";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString reason;
    QString mediaFormat;
    std::optional<QString> recordingTitle;
    qint64 recordingLengthSec = 0;
    qint64 recordingSizeBytes = 0;
    std::optional<bool> isRetry;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("reason", self.reason);
        visit("media_format", self.mediaFormat);
        visit("recording_title", self.recordingTitle);
        visit("recording_length_sec", self.recordingLengthSec);
        visit("recording_size_bytes", self.recordingSizeBytes);
        visit("is_retry", self.isRetry);
    }
};

struct RecordingSent
{
    static constexpr std::string_view literal = "Recording Sent";
    QString name = literalText(literal);
    QString mediaType = kAudioMediaType;
    QString mediaFormat;
    std::optional<QString> recordingTitle;
    qint64 recordingLengthSec = 0;
    qint64 recordingSizeBytes = 0;
    std::optional<bool> isRetry;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("media_type", self.mediaType);
        visit("media_format", self.mediaFormat);
        visit("recording_title", self.recordingTitle);
        visit("recording_length_sec", self.recordingLengthSec);
        visit("recording_size_bytes", self.recordingSizeBytes);
        visit("is_retry", self.isRetry);
    }
};

struct SyncGoogleCalendarEvents
{
    static constexpr std::string_view literal = "Sync Google Calendar Events";
    QString name = literalText(literal);

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
    }
};

struct SchedulePreMeetingNudge
{
    static constexpr std::string_view literal = "Schedule Pre-Meeting Nudge";
    QString name = literalText(literal);
    QString eventName;
    QString eventStartTime;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("event_name", self.eventName);
        visit("event_start_time", self.eventStartTime);
    }
};

struct ScheduleNotificationMessage
{
    static constexpr std::string_view literal = "Schedule Notification Message";
    QString name = literalText(literal);
    QString messageId;
    std::optional<QString> messageSlot;
    QString scheduleDate;
    QString scheduleLocalDate;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("message_id", self.messageId);
        visit("message_slot", self.messageSlot);
        visit("schedule_date", self.scheduleDate);
        visit("schedule_local_date", self.scheduleLocalDate);
    }
};

struct ShowScheduledNotificationMessage
{
    static constexpr std::string_view literal = "Show Scheduled Notification Message";
    QString name = literalText(literal);
    QString messageId;
    std::optional<QString> messageSlot;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("message_id", self.messageId);
        visit("message_slot", self.messageSlot);
    }
};

// Lists the component before the screen, unlike the two events below.
struct ComponentShown
{
    static constexpr std::string_view literal = "Component Shown";
    QString name = literalText(literal);
    ComponentName componentName = ComponentName::PreMeetingNudge;
    ScreenName screenName = ScreenName::OnboardingPopover;
    std::optional<QString> componentValue;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("component_name", self.componentName);
        visit("screen_name", self.screenName);
        visit("component_value", self.componentValue);
    }
};

struct InteractionTaken
{
    static constexpr std::string_view literal = "Interaction Taken";
    QString name = literalText(literal);
    ScreenName screenName = ScreenName::OnboardingPopover;
    InteractionType interactionType = InteractionType::Click;
    ComponentName componentName = ComponentName::PreMeetingNudge;
    std::optional<QString> componentValue;
    std::optional<QString> interactionValue;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("screen_name", self.screenName);
        visit("interaction_type", self.interactionType);
        visit("component_name", self.componentName);
        visit("component_value", self.componentValue);
        visit("interaction_value", self.interactionValue);
    }
};

struct ScreenShown
{
    static constexpr std::string_view literal = "Screen Shown";
    QString name = literalText(literal);
    ScreenName screenName = ScreenName::OnboardingPopover;
    std::optional<QString> screenValue;

    template<typename Self, typename Visit>
    static void fields(Self &self, Visit &&visit)
    {
        visit("name", self.name);
        visit("screen_name", self.screenName);
        visit("screen_value", self.screenValue);
    }
};

} // namespace brelta::analytics::event

// Raw values, in case order: text is matched against them in this order, exactly and case-sensitively.
template<>
struct brelta::platform::JsonEnum<brelta::analytics::event::ScreenName>
{
    using E = brelta::analytics::event::ScreenName;
    static constexpr std::array values{
        std::pair{E::OnboardingPopover, std::string_view("Onboarding Popover")},
        std::pair{E::NotificationsPopover, std::string_view("Notifications Popover")},
        std::pair{E::GoogleCalendarIntegrationReminderPopover,
                  std::string_view("Google Calendar Integration Reminder Popover")},
        std::pair{E::MainView, std::string_view("Main View")},
        std::pair{E::SettingsView, std::string_view("Settings View")},
        std::pair{E::CalendarView, std::string_view("Calendar View")},
    };
};

template<>
struct brelta::platform::JsonEnum<brelta::analytics::event::ComponentName>
{
    using E = brelta::analytics::event::ComponentName;
    static constexpr std::array values{
        std::pair{E::PreMeetingNudge, std::string_view("Pre-Meeting Nudge")},
        std::pair{E::StartRecordingButton, std::string_view("Start Recording Button")},
        std::pair{E::StopRecordingButton, std::string_view("Stop Recording Button")},
        std::pair{E::PauseRecordingButton, std::string_view("Pause Recording Button")},
        std::pair{E::ResumeRecordingButton, std::string_view("Resume Recording Button")},
        std::pair{E::ConnectGoogleCalendarButton, std::string_view("Connect Google Calendar Button")},
        std::pair{E::DisconnectGoogleCalendarButton, std::string_view("Disconnect Google Calendar Button")},
        std::pair{E::CalendarEventReminderToggle, std::string_view("Calendar Event Reminder Toggle")},
        std::pair{E::AllowMicrophonePermission, std::string_view("Allow Microphone Permission")},
        // The misspelling is the wire value dashboards already group by; keep it.
        std::pair{E::AllowSystemAudioPermission, std::string_view("Allow SystemAudio Permmission")},
    };
};

template<>
struct brelta::platform::JsonEnum<brelta::analytics::event::InteractionType>
{
    using E = brelta::analytics::event::InteractionType;
    static constexpr std::array values{
        std::pair{E::Click, std::string_view("CLICK")},
        std::pair{E::Typing, std::string_view("TYPING")},
        std::pair{E::Scroll, std::string_view("SCROLL")},
    };
};
