#pragma once

#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "messages/CalendarLookahead.h"
#include "shell/CalendarSyncState.h"
#include "shell/Services.h"

#include <QPointer>

#include <memory>

class QNetworkAccessManager;

namespace brelta::backend {
class ApiClient;
}
namespace brelta::messages {
class NotificationManager;
}
namespace brelta::platform {
class Clock;
class SecretStore;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::shell {

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

    // CalendarService
    void restoreSession() override;
    void scheduleIntegrationReminder() override;
    void disconnect() override;
    void signOutOfGoogle() override;

private:
    class Nudges;
    class SyncState;
    class Lookahead;

    platform::SettingsStore *m_settings;
    std::unique_ptr<calendar::GoogleAuthenticator> m_authenticator;
    std::unique_ptr<calendar::GoogleCalendarEventsProvider> m_events;
    std::unique_ptr<Nudges> m_nudges;
    std::unique_ptr<calendar::CalendarManager> m_manager;
    std::unique_ptr<SyncState> m_syncState;
    std::unique_ptr<Lookahead> m_lookahead;
};

} // namespace brelta::shell
