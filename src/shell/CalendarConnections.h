#pragma once

#include "screens/onboarding/OnboardingSeams.h"
#include "screens/settings/CalendarConnection.h"

namespace brelta::calendar {
class CalendarManager;
class GoogleAuthenticator;
} // namespace brelta::calendar
namespace brelta::platform {
class SettingsStore;
}

namespace brelta::shell {

// The calendar link as the settings panel shows and switches it.
class SettingsCalendarConnection final : public screens::CalendarConnection
{
public:
    // Both must outlive the connection.
    SettingsCalendarConnection(calendar::CalendarManager *manager, calendar::GoogleAuthenticator *authenticator,
                               QObject *parent = nullptr);

    bool isSynced() const override;
    std::optional<QString> accountEmail() const override;
    void connectCalendar() override;
    void disconnectCalendar() override;

private:
    calendar::CalendarManager *m_manager;
    calendar::GoogleAuthenticator *m_authenticator;
};

// The Google account as the onboarding's calendar page signs it in. The page only signs in; the sync
// starts when onboarding ends.
class OnboardingGoogleConnection final : public screens::GoogleConnection
{
public:
    // Every service must outlive the connection.
    OnboardingGoogleConnection(calendar::GoogleAuthenticator *authenticator, platform::SettingsStore *settings,
                               QObject *parent = nullptr);

    bool hasConnectedUser() const override;
    QCoro::Task<> signIn() override;

private:
    calendar::GoogleAuthenticator *m_authenticator;
    platform::SettingsStore *m_settings;
};

} // namespace brelta::shell
