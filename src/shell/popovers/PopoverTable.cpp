#include "shell/popovers/PopoverTable.h"

#include "shell/PopoverSizes.h"

namespace brelta::shell {

namespace {

using Behaviour = platform::desktop::PopoverWindow::Behaviour;
using std::chrono::milliseconds;

// The notification popover's height comes from its cards; this one holds until they exist.
constexpr QSize kNotificationPlaceholderSize{sizes::kNotificationPopoverWidth, 120};

const std::array kSetups{
    PopoverSetup{PopoverKind::Main, "main", sizes::kMainPopoverRecordingSize, Behaviour::Transient, std::nullopt},
    PopoverSetup{PopoverKind::Onboarding, "onboarding", sizes::kOnboardingPopoverSize, Behaviour::Transient,
                 std::nullopt},
    PopoverSetup{PopoverKind::PostOnboarding, "post-onboarding", sizes::kPostOnboardingPopoverSize,
                 Behaviour::Semitransient, std::nullopt},
    PopoverSetup{PopoverKind::RecordingEnded, "recording-ended", sizes::kRecordingEndedPopoverSize,
                 Behaviour::Semitransient, milliseconds(3000)},
    PopoverSetup{PopoverKind::RecordingStarted, "recording-started", sizes::kRecordingStartedPopoverSize,
                 Behaviour::Semitransient, milliseconds(5000)},
    PopoverSetup{PopoverKind::RecordingReminder, "recording-reminder", sizes::kRecordingStartedPopoverSize,
                 Behaviour::Semitransient, milliseconds(5000)},
    PopoverSetup{PopoverKind::Notification, "notification", kNotificationPlaceholderSize, Behaviour::Semitransient,
                 std::nullopt},
    PopoverSetup{PopoverKind::Alert, "alert", sizes::kRecordingEndedPopoverSize, Behaviour::Semitransient,
                 std::nullopt},
};

} // namespace

const PopoverSetup &popoverSetup(PopoverKind kind)
{
    return kSetups[static_cast<std::size_t>(kind)];
}

} // namespace brelta::shell
