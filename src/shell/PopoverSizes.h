#pragma once

#include <QSize>

// The sizes of the popovers, the panels inside the main popover and the settings window, in logical pixels.
namespace brelta::shell::sizes {

inline constexpr int kMainPopoverWidth = 355;
inline constexpr int kMainPopoverRecordingHeight = 180;
inline constexpr int kMainPopoverSettingsHeight = 400;
inline constexpr int kMainPopoverNotificationsHeight = 400;
inline constexpr int kMainPopoverCalendarHeight = 400;
inline constexpr int kOnboardingPopoverWidth = 355;
inline constexpr int kOnboardingPopoverHeight = 515;
inline constexpr int kPostOnboardingPopoverWidth = 220;
inline constexpr int kPostOnboardingPopoverHeight = 50;
inline constexpr int kNotificationPopoverWidth = 384;
inline constexpr int kRecordingEndedPopoverWidth = 285;
inline constexpr int kRecordingEndedPopoverHeight = 75;
inline constexpr int kRecordingStartedPopoverWidth = 235;
inline constexpr int kRecordingStartedPopoverHeight = 64;
inline constexpr int kRecordingStartedPopoverWarningWidth = 328;
inline constexpr int kRecordingStartedPopoverWarningHeight = 156;
inline constexpr int kCalendarReminderPopoverWidth = 355;
inline constexpr int kCalendarReminderPopoverHeight = 200;
inline constexpr int kAlertMeasureWidth = 300;
inline constexpr int kSettingsWindowWidth = 480;
inline constexpr int kSettingsWindowHeight = 320;

inline constexpr QSize kMainPopoverRecordingSize{kMainPopoverWidth, kMainPopoverRecordingHeight};
inline constexpr QSize kOnboardingPopoverSize{kOnboardingPopoverWidth, kOnboardingPopoverHeight};
inline constexpr QSize kPostOnboardingPopoverSize{kPostOnboardingPopoverWidth, kPostOnboardingPopoverHeight};
inline constexpr QSize kRecordingEndedPopoverSize{kRecordingEndedPopoverWidth, kRecordingEndedPopoverHeight};
inline constexpr QSize kRecordingStartedPopoverSize{kRecordingStartedPopoverWidth, kRecordingStartedPopoverHeight};
inline constexpr QSize kRecordingStartedWarningPopoverSize{kRecordingStartedPopoverWarningWidth,
                                                           kRecordingStartedPopoverWarningHeight};
inline constexpr QSize kCalendarReminderPopoverSize{kCalendarReminderPopoverWidth, kCalendarReminderPopoverHeight};
inline constexpr QSize kSettingsWindowSize{kSettingsWindowWidth, kSettingsWindowHeight};

} // namespace brelta::shell::sizes
