#pragma once

#include "platform/desktop/PopoverWindow.h"

#include <QSize>

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

namespace brelta::shell {

// The eight popovers, in the order they are set up.
enum class PopoverKind {
    Main,
    Onboarding,
    PostOnboarding,
    RecordingEnded,
    RecordingStarted,
    RecordingReminder,
    Notification,
    Alert,
};

inline constexpr std::array kAllPopoverKinds{
    PopoverKind::Main,
    PopoverKind::Onboarding,
    PopoverKind::PostOnboarding,
    PopoverKind::RecordingEnded,
    PopoverKind::RecordingStarted,
    PopoverKind::RecordingReminder,
    PopoverKind::Notification,
    PopoverKind::Alert,
};

struct PopoverSetup
{
    PopoverKind kind;
    std::string_view name;
    // The content size at set-up; the recording-started popover is sized each time it is shown.
    QSize size;
    platform::desktop::PopoverWindow::Behaviour behaviour;
    // Closes itself this long after each show; none for the others.
    std::optional<std::chrono::milliseconds> autoClose;
};

const PopoverSetup &popoverSetup(PopoverKind kind);

} // namespace brelta::shell
