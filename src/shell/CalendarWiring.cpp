#include "shell/CalendarWiring.h"

#include "backend/client/ApiClient.h"
#include "calendar/GoogleEndpoints.h"
#include "calendar/panel/CalendarWidgetView.h"
#include "calendar/panel/MeetingsShell.h"
#include "designsystem/components/Alert.h"
#include "messages/NotificationManager.h"
#include "messages/RecordingControl.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "shell/AppDelegate.h"
#include "shell/MainView.h"
#include "shell/MainViewViewModel.h"
#include "shell/popovers/MainRoot.h"
#include "shell/popovers/Popovers.h"

#include <QDesktopServices>
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

// The application as the meetings panel reaches it.
class CalendarWiring::PanelShell final : public calendar::MeetingsShell
{
public:
    PanelShell(AppDelegate *delegate, designsystem::AlertPresenter *alerts, std::function<bool(const QUrl &)> openUrl)
        : m_delegate(delegate)
        , m_alerts(alerts)
        , m_openUrl(std::move(openUrl))
    {}

    void closeMainPopover() override
    {
        if (m_delegate->isPopoverShown(PopoverKind::Main))
            m_delegate->closePopover(PopoverKind::Main);
    }
    void showRecorderPanel() override { m_delegate->mainViewModel()->switchMode(MainViewMode::Recording, true); }
    void showRecordingStartedPopover() override { m_delegate->showRecordingStartedPopover(); }
    void showModalAlert(const QString &title, const QString &message) override { m_alerts->showAlert(title, message); }
    void openUrl(const QUrl &url) override
    {
        if (!m_openUrl(url))
            qCWarning(lcCalendarWiring) << "the browser could not be opened for a meeting's link";
    }

private:
    AppDelegate *m_delegate;
    designsystem::AlertPresenter *m_alerts;
    std::function<bool(const QUrl &)> m_openUrl;
};

// The recording session as the meetings panel sees it: the control the message cards use.
class CalendarWiring::PanelRecorder final : public calendar::MeetingRecorder
{
public:
    explicit PanelRecorder(messages::RecordingControl *recording) : m_recording(recording)
    {
        connect(recording, &messages::RecordingControl::stateChanged, this, &MeetingRecorder::stateChanged);
    }

    recording::AudioRecordingState state() const override { return m_recording->state(); }
    QCoro::Task<> startPracticeRecording() override { return m_recording->startPracticeRecording(); }
    void setHasDisplayedRecordingPopover(bool shown) override { m_recording->setHasDisplayedRecordingPopover(shown); }

private:
    messages::RecordingControl *m_recording;
};

CalendarWiring::CalendarWiring(platform::Clock *clock, QNetworkAccessManager *network,
                               platform::SettingsStore *settings, platform::SecretStore *secrets,
                               backend::ApiClient *api)
    : m_clock(clock)
    , m_settings(settings)
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

void CalendarWiring::attachMeetingsPanel(MeetingsPanelParts parts)
{
    if (m_panelShell) {
        qCWarning(lcCalendarWiring) << "the meetings panel is already attached";
        return;
    }
    m_panelParts = std::move(parts);
    if (!m_panelParts.alerts) {
        m_ownAlerts = std::make_unique<designsystem::ModalAlertPresenter>();
        m_panelParts.alerts = m_ownAlerts.get();
    }
    if (!m_panelParts.openUrl)
        m_panelParts.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_panelShell = std::make_unique<PanelShell>(m_panelParts.delegate, m_panelParts.alerts, m_panelParts.openUrl);
    m_panelRecorder = std::make_unique<PanelRecorder>(m_panelParts.recording);
    // The main view exists once the launch has set up the popovers.
    QObject::connect(m_panelParts.delegate, &AppDelegate::launchStepDone, m_manager.get(),
                     [this](AppDelegate::LaunchStep step) {
                         if (step == AppDelegate::LaunchStep::StatusItemAndPopovers)
                             mountMeetingsPanel();
                     });
}

void CalendarWiring::mountMeetingsPanel()
{
    AppDelegate *delegate = m_panelParts.delegate;
    auto *mainRoot = qobject_cast<MainRoot *>(delegate->popovers()->window(PopoverKind::Main)->root());
    auto *mainView = mainRoot ? qobject_cast<MainView *>(mainRoot->mainView()) : nullptr;
    if (!mainView) {
        qCWarning(lcCalendarWiring) << "the main popover has no main view; the meetings panel is not shown";
        return;
    }
    auto *panel = new calendar::CalendarWidgetView(
        calendar::CalendarWidgetServices{m_manager.get(), m_panelRecorder.get(), m_panelShell.get(), m_clock,
                                         m_panelParts.analytics, delegate->errorTracker()});
    panel->setFrame(mainView->setPanelContent(MainViewMode::Calendar, calendar::CalendarWidgetView::title(), panel));
}

void CalendarWiring::restoreSession()
{
    // Only the signed-in Brelta user's own Google account comes back.
    m_authenticator->setUserId(m_settings->value(platform::settings::kUserId));
    // At launch this restores; after a wake it also syncs a calendar already connected.
    m_manager->handleWake();
}

void CalendarWiring::scheduleIntegrationReminder()
{
    m_authenticator->setUserId(m_settings->value(platform::settings::kUserId));
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
