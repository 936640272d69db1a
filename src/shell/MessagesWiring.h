#pragma once

#include "shell/Services.h"

#include <QUrl>

#include <functional>
#include <memory>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::designsystem {
class AlertPresenter;
}
namespace brelta::messages {
class CalendarLookahead;
class MessagesShell;
class NotificationManager;
class NotificationStore;
class RecordingControl;
} // namespace brelta::messages
namespace brelta::platform {
class Clock;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::shell {

class AppDelegate;
class NotificationRoot;

// What the in-app messages are built over. Every pointer must outlive the wiring.
struct MessagesWiringParts
{
    AppDelegate *delegate = nullptr;
    backend::ApiClient *client = nullptr;
    platform::SettingsStore *settings = nullptr;
    platform::Clock *clock = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    messages::RecordingControl *recording = nullptr;
    // Optional: null shows the kit's modal alert.
    designsystem::AlertPresenter *alerts = nullptr;
    // Optional: null opens pages with QDesktopServices.
    std::function<bool(const QUrl &)> openUrl;
};

// The in-app messages in the program: the message store, the notification manager with its polling and
// coaching tips, the notification popover's content and the notifications panel, joined to the
// application delegate. It is the message service the launch, the recording outcome and the sign-out
// drive.
//
// Made before the delegate (which takes it as its message service), then assemble()d once the delegate
// and the recording session exist, before the launch. The delegate, whose popovers hold the content made
// here, must go before it.
class MessagesWiring final : public MessageService
{
public:
    MessagesWiring();
    ~MessagesWiring() override;

    void assemble(MessagesWiringParts parts);
    bool isAssembled() const { return m_manager != nullptr; }

    // Where the coaching tips look for meetings in the coming hour; until one is set (or with null) the
    // calendar counts as not connected.
    void setCalendarLookahead(messages::CalendarLookahead *lookahead);

    messages::NotificationStore *store() const { return m_store.get(); }
    messages::NotificationManager *manager() const { return m_manager.get(); }
    messages::MessagesShell *shell() const { return m_shell.get(); }
    NotificationRoot *notificationRoot() const;

    // MessageService
    void startMessagesPolling(std::chrono::seconds interval) override;
    void scheduleCoachingTips() override;
    void stopTimers() override;
    void clearProcessedMessageIds() override;
    void clearMessagesAndHistory() override;

private:
    void mountNotificationsPanel();

    MessagesWiringParts m_parts;
    std::unique_ptr<messages::CalendarLookahead> m_notConnected;
    std::unique_ptr<designsystem::AlertPresenter> m_ownAlerts;
    std::unique_ptr<messages::MessagesShell> m_shell;
    std::unique_ptr<messages::NotificationStore> m_store;
    std::unique_ptr<messages::NotificationManager> m_manager;
};

} // namespace brelta::shell
