#include "shell/CalendarConnections.h"

#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

namespace brelta::shell {

SettingsCalendarConnection::SettingsCalendarConnection(calendar::CalendarManager *manager,
                                                       calendar::GoogleAuthenticator *authenticator, QObject *parent)
    : screens::CalendarConnection(parent)
    , m_manager(manager)
    , m_authenticator(authenticator)
{
    connect(manager, &calendar::CalendarManager::syncedChanged, this, &CalendarConnection::changed);
    connect(authenticator, &calendar::GoogleAuthenticator::accountChanged, this, &CalendarConnection::changed);
}

bool SettingsCalendarConnection::isSynced() const
{
    return m_manager->isSynced();
}

std::optional<QString> SettingsCalendarConnection::accountEmail() const
{
    const QString email = m_authenticator->email();
    if (email.isEmpty())
        return std::nullopt;
    return email;
}

void SettingsCalendarConnection::connectCalendar()
{
    m_manager->connectCalendar();
}

void SettingsCalendarConnection::disconnectCalendar()
{
    m_manager->disconnectAccount();
}

OnboardingGoogleConnection::OnboardingGoogleConnection(calendar::GoogleAuthenticator *authenticator,
                                                       platform::SettingsStore *settings, QObject *parent)
    : screens::GoogleConnection(parent)
    , m_authenticator(authenticator)
    , m_settings(settings)
{
    connect(authenticator, &calendar::GoogleAuthenticator::accountChanged, this,
            &GoogleConnection::connectedUserChanged);
}

bool OnboardingGoogleConnection::hasConnectedUser() const
{
    return m_authenticator->hasAccount() && !m_authenticator->email().isEmpty();
}

QCoro::Task<> OnboardingGoogleConnection::signIn()
{
    // The account is stored for the Brelta user who signed in moments ago, so only they get it back.
    m_authenticator->setUserId(m_settings->value(platform::settings::kUserId));
    QCoro::Task<> signingIn = m_authenticator->signIn();
    co_await std::move(signingIn);
}

} // namespace brelta::shell
