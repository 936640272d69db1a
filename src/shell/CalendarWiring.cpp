#include "shell/CalendarWiring.h"

#include "backend/client/ApiClient.h"
#include "calendar/GoogleEndpoints.h"
#include "messages/NotificationManager.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCalendarWiring, "brelta.shell.CalendarWiring")

namespace brelta::shell {

class CalendarWiring::Nudges final : public calendar::NudgeScheduler
{
public:
    void processMessage(const backend::ApiMessages::Message &message) override
    {
        if (engine)
            engine->processMessage(message);
        else
            qCInfo(lcCalendarWiring) << "no message engine in this build; a meeting nudge is left out";
    }
    void cancelScheduledMessage(const QString &messageId) override
    {
        if (engine)
            engine->cancelScheduledMessage(messageId);
    }

    QPointer<messages::NotificationManager> engine;
};

class CalendarWiring::SyncState final : public CalendarSyncState
{
public:
    explicit SyncState(calendar::CalendarManager *manager) : m_manager(manager)
    {
        connect(manager, &calendar::CalendarManager::syncedChanged, this, &CalendarSyncState::syncedChanged);
    }
    bool isSynced() const override { return m_manager->isSynced(); }

private:
    calendar::CalendarManager *m_manager;
};

class CalendarWiring::Lookahead final : public messages::CalendarLookahead
{
public:
    Lookahead(calendar::CalendarManager *manager, platform::Clock *clock) : m_manager(manager), m_clock(clock) {}

    bool isConnectedAndSynced() const override { return m_manager->isSynced(); }
    QCoro::Task<bool> hasEventWithin(std::chrono::seconds window) override
    {
        const QDateTime now = m_clock->now();
        QCoro::Task<QList<calendar::CalendarEvent>> reading = m_manager->fetchEvents(now, now.addSecs(window.count()));
        const QList<calendar::CalendarEvent> events = co_await std::move(reading);
        co_return !events.isEmpty();
    }

private:
    calendar::CalendarManager *m_manager;
    platform::Clock *m_clock;
};

CalendarWiring::CalendarWiring(platform::Clock *clock, QNetworkAccessManager *network,
                               platform::SettingsStore *settings, platform::SecretStore *secrets,
                               backend::ApiClient *api)
    : m_settings(settings)
{
    calendar::GoogleClientConfig config;
    config.authUrl = QUrl(QString::fromUtf8(calendar::google::kAuthUrl));
    config.tokenUrl = QUrl(QString::fromUtf8(calendar::google::kTokenUrl));
    config.clientId = QString::fromUtf8(calendar::google::kClientId);
    config.clientSecret = QString::fromUtf8(calendar::google::kClientSecret);
    m_authenticator = std::make_unique<calendar::GoogleAuthenticator>(config, secrets, network, clock);
    m_events = std::make_unique<calendar::GoogleCalendarEventsProvider>(
        m_authenticator.get(), network, clock, QUrl(QString::fromUtf8(calendar::google::kCalendarApi)));
    m_nudges = std::make_unique<Nudges>();
    m_manager = std::make_unique<calendar::CalendarManager>(
        calendar::CalendarManagerServices{m_authenticator.get(), m_events.get(), m_nudges.get(),
                                          [api] { return api->generateCoachingTip(); }, clock, settings});
    m_syncState = std::make_unique<SyncState>(m_manager.get());
    m_lookahead = std::make_unique<Lookahead>(m_manager.get(), clock);
}

CalendarWiring::~CalendarWiring() = default;

CalendarSyncState *CalendarWiring::syncState()
{
    return m_syncState.get();
}

void CalendarWiring::setMessageEngine(messages::NotificationManager *engine)
{
    m_nudges->engine = engine;
    if (engine)
        engine->setCalendarLookahead(m_lookahead.get());
}

void CalendarWiring::restoreSession()
{
    // Only the signed-in Brelta user's own Google account comes back.
    m_authenticator->setUserId(m_settings->text(platform::settings::kUserId).value_or(QString()));
    // At launch this restores; after a wake it also syncs a calendar already connected.
    m_manager->handleWake();
}

void CalendarWiring::scheduleIntegrationReminder()
{
    m_authenticator->setUserId(m_settings->text(platform::settings::kUserId).value_or(QString()));
    m_manager->scheduleIntegrationReminder();
}

void CalendarWiring::disconnect()
{
    m_manager->disconnectCalendar();
}

void CalendarWiring::signOutOfGoogle()
{
    // disconnect() has signed out of Google already; a second sign-out would only remove nothing again.
    if (m_authenticator->hasAccount())
        m_authenticator->signOut();
}

} // namespace brelta::shell
