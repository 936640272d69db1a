#pragma once

#include <QMetaType>

namespace brelta::screens {

// The pages of onboarding, in the order a new user meets them. Never stored or sent.
enum class OnboardingStep {
    Welcome,
    SetGoals,
    CalendarSync,
    MicrophonePermission,
    SystemAudioPermission,
    TryRecording,
    PostRecording,
};

const char *onboardingStepName(OnboardingStep step);

} // namespace brelta::screens

Q_DECLARE_METATYPE(brelta::screens::OnboardingStep)
