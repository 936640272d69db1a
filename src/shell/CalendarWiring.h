#pragma once

#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "messages/CalendarLookahead.h"
#include "shell/CalendarSyncState.h"
#include "shell/Services.h"

#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;

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
class NotificationManager;
class RecordingControl;
} // namespace brelta::messages
namespace brelta::platform {
class Clock;
class SecretStore;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::shell {

class AppDelegate;

// What the meetings panel is built over. Every pointer must outlive the wiring.
struct MeetingsPanelParts
{
    AppDelegate *delegate = nullptr;
    messages::RecordingControl *recording = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    // Optional: null shows the kit's modal alert.
    designsystem::AlertPresenter *alerts = nullptr;
    // Optional: null opens meeting links with QDesktopServices.
    std::function<bool(const QUrl &)> openUrl;
};

// The calendar as the application assembles it: the Google account (compiled-in endpoints and client),
// the Calendar reader, the manager, and the seams the shell and the message engine see it through.
class CalendarWiring final : public CalendarService
{
public:
    // Every service must outlive the wiring.
    CalendarWiring(platform::Clock *clock, QNetworkAccessManager *network, platform::SettingsStore *settings,
                   platform::SecretStore *secrets, backend::ApiClient *api);
    ~CalendarWiring() override;

    calendar::CalendarManager *manager() { return m_manager.get(); }
    calendar::GoogleAuthenticator *authenticator() { return m_authenticator.get(); }
    CalendarSyncState *syncState();

    // The nudges go to this engine, and its coaching tips look ahead in the calendar. Until an engine is
    // set a nudge is logged and left out.
    void setMessageEngine(messages::NotificationManager *engine);

    // Puts the meetings panel into the main view's calendar mode once the launch has made the popovers.
    // Called once the delegate and the recording session exist, before the launch.
    void attachMeetingsPanel(MeetingsPanelParts parts);

    // CalendarService
    void restoreSession() override;
    void scheduleIntegrationReminder() override;
    void disconnect() override;
    void signOutOfGoogle() override;

private:
    class Nudges;
    class SyncState;
    class Lookahead;
    class PanelShell;
    class PanelRecorder;

    void mountMeetingsPanel();

    platform::Clock *m_clock;
    platform::SettingsStore *m_settings;
    std::unique_ptr<calendar::GoogleAuthenticator> m_authenticator;
    std::unique_ptr<calendar::GoogleCalendarEventsProvider> m_events;
    std::unique_ptr<Nudges> m_nudges;
    std::unique_ptr<calendar::CalendarManager> m_manager;
    std::unique_ptr<SyncState> m_syncState;
    std::unique_ptr<Lookahead> m_lookahead;
    MeetingsPanelParts m_panelParts;
    std::unique_ptr<designsystem::AlertPresenter> m_ownAlerts;
    std::unique_ptr<PanelShell> m_panelShell;
    std::unique_ptr<PanelRecorder> m_panelRecorder;
};

} // namespace brelta::shell
