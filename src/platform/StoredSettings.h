#pragma once

#include <QString>

#include <array>
#include <string_view>

// Every value Brelta keeps in the user's settings file, in one table: its stored name (exactly as older
// installations wrote it), its kind, its default and the folder that owns it. Code reaches a value through
// one of the typed keys below, never through a name spelled out somewhere else.
namespace brelta::platform::settings {

enum class Kind { Bool, Text, JsonArray };

struct Definition
{
    std::string_view name;
    Kind kind;
    // How an absent value reads ("" for texts and arrays that have no default).
    std::string_view defaultValue;
    // The folder that writes it; others only read.
    std::string_view owner;
};

// A typed handle on one stored value; SettingsStore reads and writes through it.
template<Kind K>
struct Key
{
    std::string_view name;

    QString storedName() const { return QString::fromLatin1(name.data(), qsizetype(name.size())); }
};

using BoolKey = Key<Kind::Bool>;
using TextKey = Key<Kind::Text>;
using ArrayKey = Key<Kind::JsonArray>;

// A boolean key with what its absence means.
struct BoolSetting
{
    BoolKey key;
    bool defaultValue;
};

// The signed-in user's e-mail address; empty after a sign-out (absent and empty differ).
inline constexpr TextKey kUsername{"username"};
inline constexpr TextKey kUserId{"userId"};
inline constexpr BoolSetting kOnboardingCompleted{{"isOnboardingCompleted"}, false};
// Absent means on: the web-view recorder is the privacy recorder unless the backend switched it off.
inline constexpr BoolSetting kUseWebViewRecorderNewest{{"isUseWebViewRecorderNewest"}, true};
inline constexpr BoolSetting kUseExperimentAudioRecorder{{"isUseExperimentAudioRecorder"}, false};
inline constexpr ArrayKey kAudioUploadItems{"audioUploadItems"};
inline constexpr ArrayKey kProcessedNotificationIds{"processedNotificationIds"};
inline constexpr ArrayKey kDisplayedNotifications{"displayedNotificationsNew"};
inline constexpr BoolSetting kCalendarReminderCanceled{{"isCalendarIntegrationReminderCanceled"}, false};
inline constexpr BoolSetting kCalendarReminderSpedUp{{"isCalendarIntegrationReminderSpedUp"}, false};
// Set once the user turned the microphone on in Brelta; kept across sign-out like a system grant.
inline constexpr BoolSetting kMicrophoneConsentGiven{{"isMicrophoneConsentGiven"}, false};

inline constexpr std::array kAll{
    Definition{kUsername.name, Kind::Text, "", "shell"},
    Definition{kUserId.name, Kind::Text, "", "shell"},
    Definition{kOnboardingCompleted.key.name, Kind::Bool, "false", "screens"},
    Definition{kUseWebViewRecorderNewest.key.name, Kind::Bool, "true", "screens"},
    Definition{kUseExperimentAudioRecorder.key.name, Kind::Bool, "false", "shell"},
    Definition{kAudioUploadItems.name, Kind::JsonArray, "[]", "recording"},
    Definition{kProcessedNotificationIds.name, Kind::JsonArray, "[]", "messages"},
    Definition{kDisplayedNotifications.name, Kind::JsonArray, "[]", "messages"},
    Definition{kCalendarReminderCanceled.key.name, Kind::Bool, "false", "calendar"},
    Definition{kCalendarReminderSpedUp.key.name, Kind::Bool, "false", "calendar"},
    Definition{kMicrophoneConsentGiven.key.name, Kind::Bool, "false", "shell"},
};

} // namespace brelta::platform::settings
