#pragma once

namespace brelta::shell {

// The main popover's panels a link can open.
enum class RoutePanel { Settings, Calendar };

// Switches the main popover to a panel (without animating the resize), as the panel model does; the
// application delegate forwards it to the main view's model.
class PanelSwitcher
{
public:
    virtual ~PanelSwitcher() = default;
    virtual void switchToPanel(RoutePanel panel) = 0;
};

// The onboarding flow as the sign-in link drives it: a user who signed up on the web continues at the
// microphone step.
class OnboardingNavigator
{
public:
    virtual ~OnboardingNavigator() = default;
    virtual void continueAtMicrophoneStep() = 0;
};

} // namespace brelta::shell
