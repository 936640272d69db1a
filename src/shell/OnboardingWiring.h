#pragma once

#include "screens/onboarding/OnboardingSeams.h"
#include "shell/routes/RouteSeams.h"

#include <QPointer>

#include <memory>

class QWidget;

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::designsystem {
class ModalAlertPresenter;
}
namespace brelta::platform {
class Clock;
class PermissionManager;
class SettingsStore;
} // namespace brelta::platform
namespace brelta::recording {
class AudioRecorderManager;
}
namespace brelta::screens {
class GoogleConnection;
class ManagerTrialRecorder;
class OnboardingFlow;
} // namespace brelta::screens

namespace brelta::shell {

class AppDelegate;
class CalendarService;
class MessageService;

// The onboarding flow in the program: the flow itself, what it asks of the shell (popovers, browser,
// calendar sync, message polling) and the link's way in. Made in main before the delegate (whose link
// router needs the navigator), attached to it and to the recorder before the launch builds the popovers.
class OnboardingWiring final : public screens::OnboardingShell, public OnboardingNavigator
{
public:
    struct Parts
    {
        platform::SettingsStore *settings = nullptr;
        platform::Clock *clock = nullptr;
        platform::PermissionManager *permissions = nullptr;
        backend::ApiClient *api = nullptr;
        const analytics::AnalyticsManager *analytics = nullptr;
        CalendarService *calendar = nullptr;
        MessageService *messages = nullptr;
        // Null while no Google sign-in is in this build: the calendar page then offers only "Skip".
        screens::GoogleConnection *google = nullptr;
    };

    explicit OnboardingWiring(Parts parts);
    ~OnboardingWiring() override;

    void attach(AppDelegate *delegate, recording::AudioRecorderManager *recorder);
    // The onboarding popover's content; the delegate takes it during the launch.
    QWidget *makeRoot();

    screens::OnboardingFlow *flow() const { return m_flow.get(); }

    // OnboardingShell
    void showOnboardingPopover() override;
    void closeOnboardingPopover() override;
    void showPostOnboardingHint() override;
    bool openInBrowser(const QUrl &url) override;
    void connectCalendar() override;
    void startMessagesPolling(std::chrono::seconds interval) override;

    // OnboardingNavigator
    void continueAtMicrophoneStep() override;

private:
    Parts m_parts;
    QPointer<AppDelegate> m_delegate;
    std::unique_ptr<screens::OnboardingFlow> m_flow;
    std::unique_ptr<screens::ManagerTrialRecorder> m_recorder;
    std::unique_ptr<designsystem::ModalAlertPresenter> m_alerts;
};

} // namespace brelta::shell
