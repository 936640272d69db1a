#include "shell/AppDelegate.h"

#include "analytics/AnalyticsManager.h"
#include "backend/Hosts.h"
#include "backend/client/ApiClient.h"
#include "calendar/CalendarManager.h"
#include "calendar/reminder/CalendarIntegrationReminderView.h"
#include "calendar/reminder/ReminderPopover.h"
#include "designsystem/components/Alert.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/LogindSleepMonitor.h"
#include "platform/permissions/PermissionManager.h"
#include "recording/upload/AudioUploadManager.h"
#include "shell/FeatureRefresh.h"
#include "shell/MainView.h"
#include "shell/MainViewViewModel.h"
#include "shell/PopoverSizes.h"
#include "shell/RecorderView.h"
#include "shell/RecordingSession.h"
#include "shell/ScreensWiring.h"
#include "shell/Services.h"
#include "shell/SharedAppDelegate.h"
#include "shell/WebRecorderHost.h"
#include "shell/popovers/MainRoot.h"
#include "shell/popovers/NotificationRoot.h"
#include "shell/popovers/PlaceholderRoots.h"
#include "shell/popovers/Popovers.h"
#include "shell/popovers/RecordingPopovers.h"
#include "shell/popovers/SettingsWindow.h"
#include "shell/routes/UrlRouter.h"
#include "shell/tray/StatusItem.h"

#include <QDesktopServices>
#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcAppDelegate, "brelta.shell.AppDelegate")

namespace brelta::shell {

namespace settings = platform::settings;
using platform::desktop::PopoverWindow;
using recording::AudioRecordingState;

namespace {

// The popovers a left click on the tray icon closes before it opens the main (or onboarding) popover.
constexpr std::array kClosedByStatusItemClick{
    PopoverKind::PostOnboarding, PopoverKind::RecordingEnded, PopoverKind::RecordingStarted,
    PopoverKind::Notification,   PopoverKind::Alert,
};

// The connect-calendar reminder card's popover: the alert popover.
class AlertReminderPopover final : public calendar::ReminderPopover
{
public:
    explicit AlertReminderPopover(AppDelegate *delegate) : m_delegate(delegate) {}

    void closeReminder() override
    {
        if (m_delegate->isPopoverShown(PopoverKind::Alert))
            m_delegate->closePopover(PopoverKind::Alert);
    }

private:
    AppDelegate *m_delegate;
};

// Frame-owned: the session may go while its stop runs.
QCoro::Task<> stopRecordingInBackground(QPointer<RecordingSession> session, QString why)
{
    if (!session)
        co_return;
    try {
        QCoro::Task<> stop = session->stopRecording();
        co_await std::move(stop);
    } catch (const std::exception &error) {
        qCWarning(lcAppDelegate).noquote() << "stopping the recording" << why << "failed:" << error.what();
    } catch (...) {
        qCWarning(lcAppDelegate).noquote() << "stopping the recording" << why << "failed";
    }
}

} // namespace

AppDelegate::AppDelegate(AppDelegateDependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
    , m_statusItem(std::make_unique<StatusItem>())
    , m_popovers(std::make_unique<Popovers>(m_deps.clock))
    , m_featureRefresh(std::make_unique<FeatureRefresh>(m_deps.api, m_deps.settings))
    , m_mainViewModel(std::make_unique<MainViewViewModel>([this](QSize size, std::chrono::milliseconds duration) {
        m_popovers->resizeContent(PopoverKind::Main, size, duration, MainViewViewModel::easeInOut());
    }))
    , m_onboardingTimer(m_deps.clock->createTimer())
    , m_resignTimer(m_deps.clock->createTimer())
    , m_logOutTimer(m_deps.clock->createTimer())
    , m_quitTimer(m_deps.clock->createTimer())
    , m_goToSettingsTimer(m_deps.clock->createTimer())
    , m_setUserTimer(m_deps.clock->createTimer())
    , m_mainAfterSignInTimer(m_deps.clock->createTimer())
{
    m_reminderPopover = std::make_unique<AlertReminderPopover>(this);
    if (m_deps.calendarManager) {
        connect(m_deps.calendarManager, &calendar::CalendarManager::integrationReminderDue, this,
                &AppDelegate::showCalendarIntegrationReminder);
        // Only a build without a Google client fails this way; a refused or abandoned consent stays silent.
        connect(m_deps.calendarManager, &calendar::CalendarManager::connectFailed, this,
                [this](const QString &message) { showAlert(kCalendarUnavailableTitle, message); });
    }
    connect(m_goToSettingsTimer.get(), &platform::Timer::timeout, this, &AppDelegate::showMainPopover);
    // Made before the launch so that the shared instances main builds with it (the upload queue) report
    // to it from the start; the launch sets its user.
    m_errorTracker = std::make_unique<platform::ErrorTracker>(m_deps.errorTracking, m_deps.network, m_deps.clock);
    m_router = std::make_unique<UrlRouter>(
        UrlRouterParts{this, m_deps.settings, m_deps.clock, m_deps.api, m_deps.permissions, m_deps.recording,
                       m_deps.panels ? m_deps.panels : m_mainViewModel.get(), m_deps.onboarding});
    connect(m_setUserTimer.get(), &platform::Timer::timeout, this, [this] {
        if (const auto user = std::exchange(m_signedInUser, std::nullopt)) {
            setUser(user->first, user->second);
            m_popovers->setContentSize(PopoverKind::Main, sizes::kMainPopoverRecordingSize);
        }
    });
    connect(m_mainAfterSignInTimer.get(), &platform::Timer::timeout, this, &AppDelegate::showMainPopover);
    connect(m_onboardingTimer.get(), &platform::Timer::timeout, this, [this] {
        // Onboarding may have been completed in the second since launch.
        if (!onboardingCompleted())
            showOnboardingPopover();
    });
    connect(m_resignTimer.get(), &platform::Timer::timeout, this, [this] {
        if (!m_deps.recording)
            return;
        showRecordingStartedPopover();
        m_deps.recording->setHasDisplayedRecordingPopover(true);
    });
    connect(m_logOutTimer.get(), &platform::Timer::timeout, this, [this] { completeLogOut(); });
    connect(m_quitTimer.get(), &platform::Timer::timeout, this, [this] {
        qCWarning(lcAppDelegate) << "the recording was not handed off within" << kQuitStopTimeout.count()
                                 << "ms; quitting all the same";
        finishQuit();
    });
    connect(m_statusItem.get(), &StatusItem::clicked, this, &AppDelegate::handleStatusItemClick);
    connect(m_statusItem.get(), &StatusItem::quitChosen, this, &AppDelegate::quit);
    connect(m_popovers.get(), &Popovers::dismissed, this, &AppDelegate::onPopoverDismissed);
}

AppDelegate::~AppDelegate()
{
    // The analytics holder outlives this delegate; it must not keep the client this one owns.
    if (m_deps.analytics && m_deps.analytics->client() == m_analyticsClient.get())
        m_deps.analytics->setClient(nullptr);
}

void AppDelegate::setRecordingSession(RecordingSession *recording)
{
    m_deps.recording = recording;
    m_router->setRecordingSession(recording);
}

void AppDelegate::step(LaunchStep done)
{
    qCDebug(lcAppDelegate) << "launch:" << done;
    emit launchStepDone(done);
}

bool AppDelegate::hasTrayHost() const
{
    return m_statusItem->hostAvailable();
}

bool AppDelegate::onboardingCompleted() const
{
    return m_deps.settings->value(settings::kOnboardingCompleted);
}

QString AppDelegate::storedUsername() const
{
    return m_deps.settings->value(settings::kUsername);
}

// Launch -------------------------------------------------------------------------------------------------

void AppDelegate::launch()
{
    if (std::exchange(m_launched, true))
        return;

    m_deps.shared->publish(this);
    step(LaunchStep::Published);

    setUpErrorReporting();
    step(LaunchStep::ErrorReporting);

    setUpStatusItemAndPopovers();
    step(LaunchStep::StatusItemAndPopovers);

    m_settingsWindow = std::make_unique<SettingsWindow>(m_deps.screens ? m_deps.screens->makeSettingsView() : nullptr);
    m_settingsWindow->addAction(m_statusItem->quitAction());
    step(LaunchStep::SettingsWindow);

    // Not awaited: the steps below run while the keyring answers.
    step(LaunchStep::TokenLoadStarted);
    loadTokensThenStartServices();

    setUpAnalytics();
    step(LaunchStep::Analytics);

    // After the tray is up; the host loads its page only while the stored choices pick that recorder.
    if (m_deps.webRecorder)
        m_deps.webRecorder->setUp();
    else
        qCInfo(lcAppDelegate) << "no web-view recorder in this build; no page host";
    step(LaunchStep::WebRecorderHost);

    observeSleepAndWake();
    step(LaunchStep::SleepWake);

    attachRecordingSession();
    step(LaunchStep::RecordingDelegate);

    if (m_deps.recording)
        connect(m_deps.recording, &RecordingSession::stateChanged, this, &AppDelegate::updateStatusImage);
    updateStatusImage();
    step(LaunchStep::StatusImage);

    if (const std::optional<QString> username = m_deps.settings->text(settings::kUsername);
        username && m_deps.recording)
        m_deps.recording->setUsername(*username);
    step(LaunchStep::RecordingUsername);

    scheduleOnboardingPopover();
    step(LaunchStep::OnboardingScheduled);

    m_initialized = true;
    step(LaunchStep::Initialized);

    registerLoginItem();
    step(LaunchStep::LoginItem);

    // Links from the command line or a start during the launch are routed now that it has run.
    if (const QList<QUrl> urls = std::exchange(m_urlsBeforeLaunch, {}); !urls.isEmpty())
        m_router->handleOpenUrls(urls, true);

    // Without a tray the program would be unreachable: show what a click would have shown.
    if (!m_statusItem->hostAvailable())
        showMainOrOnboarding();
}

void AppDelegate::setUpErrorReporting()
{
    const QString userId = m_deps.settings->value(settings::kUserId);
    m_errorTracker->setUser(userId.isEmpty() ? std::nullopt : std::optional(userId));
    // The backend client's own reports (keychain writes, a refused refresh) go to the error tracker.
    platform::ErrorTracker *tracker = m_errorTracker.get();
    connect(m_deps.api, &backend::ApiClient::errorReported, tracker,
            [tracker](const platform::AppError &error) { tracker->captureError(error); });
}

void AppDelegate::setUpStatusItemAndPopovers()
{
    if (!m_statusItem->setUp())
        qCWarning(lcAppDelegate).noquote()
            << "this desktop shows no tray icons (no StatusNotifierItem host, no system tray). On GNOME, turn on the "
               "AppIndicator and KStatusNotifierItem Support extension to see Brelta in the top bar; until then "
               "Brelta opens its popover at the top right of the screen when it starts or is started again.";

    using Kind = PopoverKind;
    m_popovers->setRoot(Kind::Main, makeMainRoot());
    m_popovers->setRoot(Kind::Onboarding, m_deps.onboardingRoot
                                              ? m_deps.onboardingRoot()
                                              : new PlaceholderRoot(QStringLiteral("Welcome to Brelta"),
                                                                    QStringLiteral("Onboarding popover")));
    setUpRecordingPopovers();
    // The messages put their content in before the launch; a build without them keeps a placeholder.
    if (!m_popovers->window(Kind::Notification)->root())
        m_popovers->setRoot(Kind::Notification, new PlaceholderRoot(QStringLiteral("Notification"),
                                                                    QStringLiteral("Notification popover")));
    m_popovers->setRoot(Kind::Alert, new AlertRoot(QString(), QString()));
    for (const Kind kind : {Kind::Main, Kind::Onboarding})
        m_popovers->window(kind)->addAction(m_statusItem->quitAction());
}

// The main popover's content --------------------------------------------------------------------------

QWidget *AppDelegate::makeMainRoot()
{
    if (!m_deps.alerts)
        m_ownAlerts = std::make_unique<designsystem::ModalAlertPresenter>();
    RecorderViewDependencies recorder;
    recorder.session = m_deps.recording;
    recorder.permissions = m_deps.recorderPermissions;
    recorder.analytics = m_deps.analytics;
    recorder.alerts = m_deps.alerts ? m_deps.alerts : m_ownAlerts.get();
    recorder.errorTracker = m_errorTracker.get();
    recorder.showMainPopover = [this] { showMainPopover(); };

    MainViewActions actions;
    actions.webApplicationBase =
        QString::fromLatin1(backend::hosts::kScheme) + QStringLiteral("://") + backend::hosts::kWebApplication;
    actions.username = [this] { return storedUsername(); };
    actions.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    actions.closePopover = [this] {
        if (isPopoverShown(PopoverKind::Main))
            closePopover(PopoverKind::Main);
    };
    // Through the backend's session delegate, as a refused refresh signs out.
    actions.signOut = [this] { m_deps.shared->logOut(); };
    actions.quit = [this] { quit(); };

    auto *mainView = new MainView(m_mainViewModel.get(), new RecorderView(std::move(recorder)), std::move(actions),
                                  m_deps.calendarSync);
    auto signedIn = [this] { return !storedUsername().isEmpty(); };
    if (m_deps.screens) {
        m_deps.screens->mountSettings(mainView);
        return new MainRoot(signedIn, mainView, [this] {
            return m_deps.screens->makeSignInRoot(
                [this](const QString &id, const QString &name) { didSignIn(id, name); }, [this] { quit(); });
        });
    }
    auto *signIn = new PlaceholderRoot(QStringLiteral("Sign in to Brelta"), QStringLiteral("Sign-in screen"));
    return new MainRoot(signedIn, mainView, signIn);
}

void AppDelegate::setUpRecordingPopovers()
{
    using Kind = PopoverKind;
    m_popovers->setRoot(Kind::PostOnboarding, new PostOnboardingRoot(m_deps.clock, [this] {
                            if (isPopoverShown(PopoverKind::PostOnboarding))
                                closePopover(PopoverKind::PostOnboarding);
                        }));
    m_popovers->setRoot(Kind::RecordingEnded, new RecordingEndedRoot);
    m_popovers->setRoot(Kind::RecordingStarted,
                        new RecordingStartedRoot(m_deps.settings, [this] { goToPrivacySettings(); }));
    m_popovers->setRoot(Kind::RecordingReminder, new RecordingReminderRoot(m_deps.recording, [this] {
                            closePopover(PopoverKind::RecordingReminder);
                        }));
}

void AppDelegate::goToPrivacySettings()
{
    if (m_deps.focusPrivacySettings)
        m_deps.focusPrivacySettings();
    m_mainViewModel->switchMode(MainViewMode::Settings, false);
    if (isPopoverShown(PopoverKind::RecordingStarted))
        closePopover(PopoverKind::RecordingStarted);
    m_goToSettingsTimer->start(kGoToSettingsDelay, platform::Timer::Mode::SingleShot);
}

QCoro::Task<> AppDelegate::loadTokensThenStartServices()
{
    QPointer<AppDelegate> self(this);
    QCoro::Task<> load = m_deps.api->loadTokensFromKeychain();
    co_await std::move(load);
    if (!self)
        co_return;
    m_tokensRead = true;
    startServices();
    step(LaunchStep::ServicesStarted);
    if (std::exchange(m_showMainAfterTokenRead, false))
        showMainOrOnboarding();
}

void AppDelegate::startServices()
{
    m_deps.calendar->restoreSession();
    m_deps.calendar->scheduleIntegrationReminder();
    m_deps.messages->startMessagesPolling(kMessagePollingInterval);
    m_deps.messages->scheduleCoachingTips();
    if (m_deps.uploads)
        m_deps.uploads->scheduleReuploadTimer(recording::AudioReuploadMode::Background);
    else
        qCInfo(lcAppDelegate) << "the upload queue is not in this build; no retry timer";
}

void AppDelegate::setUpAnalytics()
{
    m_analyticsClient =
        std::make_unique<platform::AnalyticsClient>(m_deps.analyticsConfiguration, m_deps.network, m_deps.clock);
    m_deps.analytics->setClient(m_analyticsClient.get());
    const QString userId = m_deps.settings->value(settings::kUserId);
    const QString username = storedUsername();
    if (!userId.isEmpty() && !username.isEmpty())
        m_deps.analytics->identify(userId, username);
}

void AppDelegate::observeSleepAndWake()
{
    if (!m_deps.sleepWake) {
        qCInfo(lcAppDelegate) << "no sleep and wake source in this build";
        return;
    }
    using platform::desktop::LogindSleepMonitor;
    connect(m_deps.sleepWake, &LogindSleepMonitor::aboutToSleep, this, &AppDelegate::sleepListener);
    connect(m_deps.sleepWake, &LogindSleepMonitor::woke, this, &AppDelegate::wakeListener);
}

void AppDelegate::attachRecordingSession()
{
    if (!m_deps.recording) {
        qCInfo(lcAppDelegate) << "the recording session is not in this build";
        return;
    }
    connect(m_deps.recording, &RecordingSession::recordingFinished, this, &AppDelegate::handleRecordingFinished);
    connect(m_deps.recording, &RecordingSession::reminderDue, this, &AppDelegate::showRecordingReminderPopover);
    connect(m_deps.recording, &RecordingSession::stateChanged, this, &AppDelegate::updateSleepDelay);
    updateSleepDelay();
}

void AppDelegate::scheduleOnboardingPopover()
{
    if (!onboardingCompleted())
        m_onboardingTimer->start(kOnboardingDelay, platform::Timer::Mode::SingleShot);
}

void AppDelegate::registerLoginItem()
{
    if (!m_deps.loginItem) {
        qCInfo(lcAppDelegate) << "starting at login is off in this build";
        return;
    }
    const platform::desktop::LoginItem::Result result = m_deps.loginItem->registerItem();
    if (!result.written) {
        qCWarning(lcAppDelegate).noquote() << "the login item could not be registered:" << result.error;
        m_errorTracker->captureError(QStringLiteral("LoginItemError"), result.error);
    } else if (result.keptDisabled) {
        qCInfo(lcAppDelegate) << "the login item is switched off by the user and stays so";
    }
}

// Popovers ---------------------------------------------------------------------------------------------

void AppDelegate::showPopover(PopoverKind kind, bool activate)
{
    m_popovers->show(kind, m_statusItem->anchor());
    if (activate)
        m_popovers->window(kind)->activate();
}

void AppDelegate::closePopover(PopoverKind kind)
{
    m_popovers->close(kind);
}

bool AppDelegate::isPopoverShown(PopoverKind kind) const
{
    return m_popovers->isShown(kind);
}

void AppDelegate::showMainOrOnboarding()
{
    if (!onboardingCompleted()) {
        showOnboardingPopover();
        return;
    }
    using TokenState = backend::ApiClient::TokenState;
    switch (m_deps.api->accessTokenState()) {
    case TokenState::NotRead:
        // Signing out now would wipe a user whose token is simply not read yet.
        qCInfo(lcAppDelegate) << "the stored tokens are still being read; the popover opens once they are";
        m_showMainAfterTokenRead = true;
        return;
    case TokenState::Held:
        showMainPopover();
        return;
    case TokenState::Unreadable:
        // A locked keyring is no sign-out: the token is there and is read once the keyring opens.
        qCInfo(lcAppDelegate) << "the keyring cannot be read now; opening the main popover without signing out";
        showMainPopover();
        return;
    case TokenState::Absent:
        logOut();
        return;
    }
}

void AppDelegate::showMainPopover()
{
    if (storedUsername().isEmpty())
        m_popovers->setContentSize(PopoverKind::Main, sizes::kOnboardingPopoverSize);
    m_featureRefresh->start();
    showPopover(PopoverKind::Main, true);
}

void AppDelegate::showOnboardingPopover()
{
    showPopover(PopoverKind::Onboarding, true);
}

void AppDelegate::showRecordingEndedPopover()
{
    showPopover(PopoverKind::RecordingEnded);
}

void AppDelegate::showRecordingStartedPopover()
{
    const bool privacyControl = m_deps.settings->value(settings::kUseWebViewRecorderNewest);
    m_popovers->setContentSize(PopoverKind::RecordingStarted, privacyControl
                                                                  ? sizes::kRecordingStartedPopoverSize
                                                                  : sizes::kRecordingStartedWarningPopoverSize);
    showPopover(PopoverKind::RecordingStarted);
}

void AppDelegate::showRecordingReminderPopover()
{
    // The notice's size, taller when the minutes left and "Extend" show below it.
    if (auto *root = qobject_cast<RecordingReminderRoot *>(m_popovers->window(PopoverKind::RecordingReminder)->root()))
        m_popovers->setContentSize(PopoverKind::RecordingReminder,
                                   QSize(sizes::kRecordingStartedPopoverWidth,
                                         std::max(sizes::kRecordingStartedPopoverHeight,
                                                  root->heightAt(sizes::kRecordingStartedPopoverWidth))));
    showPopover(PopoverKind::RecordingReminder);
}

void AppDelegate::closeNotificationPopover()
{
    // The content removes, half a second later, only the messages queued at this close.
    if (auto *root = qobject_cast<NotificationRoot *>(m_popovers->window(PopoverKind::Notification)->root()))
        root->closePopoverAndClear();
    else
        closePopover(PopoverKind::Notification);
}

void AppDelegate::showAlert(const QString &title, const QString &message)
{
    auto *root = new AlertRoot(title, message);
    connect(root, &AlertRoot::tapped, this, [this] { closePopover(PopoverKind::Alert); });
    m_popovers->setRoot(PopoverKind::Alert, root);
    m_popovers->setContentSize(PopoverKind::Alert,
                               QSize(sizes::kRecordingEndedPopoverWidth, AlertRoot::heightFor(title, message)));
    showPopover(PopoverKind::Alert);
}

void AppDelegate::showCalendarIntegrationReminder()
{
    if (!m_deps.calendarManager) {
        qCInfo(lcAppDelegate) << "the calendar is not in this build; no reminder to connect it";
        return;
    }
    if (isPopoverShown(PopoverKind::Alert))
        closePopover(PopoverKind::Alert);
    auto *card = new calendar::CalendarIntegrationReminderView(
        calendar::ReminderCardServices{m_deps.calendarManager, m_reminderPopover.get(), m_deps.analytics});
    m_popovers->setRoot(PopoverKind::Alert, card);
    // Taller than the reminder's size only when the card's content needs it (its buttons wrap).
    const int width = sizes::kCalendarReminderPopoverWidth;
    m_popovers->setContentSize(
        PopoverKind::Alert, QSize(width, std::max(sizes::kCalendarReminderPopoverHeight, card->heightForWidth(width))));
    showPopover(PopoverKind::Alert);
}

void AppDelegate::handleStatusItemClick()
{
    for (const PopoverKind kind : kClosedByStatusItemClick) {
        if (isPopoverShown(kind))
            closePopover(kind);
    }
    // Once, whatever was open: opening the main popover for each closed one would put it beside onboarding.
    showMainOrOnboarding();
}

void AppDelegate::onPopoverDismissed(PopoverKind kind, PopoverWindow::DismissReason reason)
{
    if (kind == PopoverKind::Main && reason == PopoverWindow::DismissReason::LostActivation)
        applicationDidResignActive();
}

void AppDelegate::applicationDidResignActive()
{
    RecordingSession *recording = m_deps.recording;
    if (!recording || recording->state() != AudioRecordingState::Recording || recording->hasDisplayedRecordingPopover())
        return;
    m_resignTimer->start(kRecordingStartedAfterResign, platform::Timer::Mode::SingleShot);
}

void AppDelegate::updateStatusImage()
{
    m_statusItem->setRecording(m_deps.recording && m_deps.recording->state() == AudioRecordingState::Recording);
}

// Session ----------------------------------------------------------------------------------------------

void AppDelegate::didSignIn(const QString &userId, const QString &username)
{
    if (isPopoverShown(PopoverKind::Main))
        closePopover(PopoverKind::Main);
    // Both delays count from now.
    m_signedInUser = std::pair(userId, username);
    m_setUserTimer->start(kSetUserAfterSignIn, platform::Timer::Mode::SingleShot);
    m_mainAfterSignInTimer->start(kMainPopoverAfterSignIn, platform::Timer::Mode::SingleShot);
}

void AppDelegate::setUser(const QString &userId, const QString &username)
{
    if (!m_deps.settings->setText(settings::kUsername, username)
        || !m_deps.settings->setText(settings::kUserId, userId))
        qCWarning(lcAppDelegate) << "the signed-in user could not be stored";
    m_errorTracker->setUser(userId);
    if (m_deps.recording)
        m_deps.recording->setUsername(username);
    m_deps.messages->startMessagesPolling(kMessagePollingInterval);
    m_deps.messages->scheduleCoachingTips();
    m_deps.analytics->identify(userId, username);
    m_deps.calendar->scheduleIntegrationReminder();
}

void AppDelegate::logOut()
{
    if (isPopoverShown(PopoverKind::Main))
        closePopover(PopoverKind::Main);
    if (std::exchange(m_signOutPending, true)) {
        qCInfo(lcAppDelegate) << "a sign-out is already under way";
        return;
    }
    m_logOutTimer->start(kLogOutDelay, platform::Timer::Mode::SingleShot);
}

QCoro::Task<> AppDelegate::completeLogOut()
{
    QPointer<AppDelegate> self(this);
    qCInfo(lcAppDelegate) << "signing out";
    // The running recording first: it goes to the upload queue under the user who made it, before the
    // queue sets that user's recordings aside. A paused one stays; whenever it stops, it is queued under
    // its owner, captured at its start.
    if (m_deps.recording && m_deps.recording->state() == AudioRecordingState::Recording) {
        QCoro::Task<> stop = stopRecordingInBackground(m_deps.recording, QStringLiteral("at sign-out"));
        co_await std::move(stop);
        if (!self)
            co_return;
    }
    if (m_deps.uploads)
        m_deps.uploads->signOut();
    else
        qCInfo(lcAppDelegate) << "the upload queue is not in this build; nothing to set aside";

    if (!m_deps.settings->setText(settings::kUsername, QString())
        || !m_deps.settings->setText(settings::kUserId, QString()))
        qCWarning(lcAppDelegate) << "the signed-out user could not be stored";
    m_errorTracker->setUser(std::nullopt);
    if (m_deps.recording)
        m_deps.recording->setUsername(QString());
    m_deps.messages->clearProcessedMessageIds();
    m_deps.messages->stopTimers();
    m_deps.messages->clearMessagesAndHistory();
    m_deps.calendar->disconnect();
    m_deps.calendar->signOutOfGoogle();
    m_deps.analytics->reset();
    // Forgets the tokens in memory and deletes the stored ones; a deletion that fails is reported by the
    // client, and the next launch deletes what it finds while nobody is signed in.
    m_deps.api->clearSession();
    if (!m_deps.settings->setValue(settings::kOnboardingCompleted, false))
        qCWarning(lcAppDelegate) << "the signed-out state could not be stored";
    showOnboardingPopover();
    m_signOutPending = false;
    emit signedOut();
}

void AppDelegate::handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage)
{
    if (!errorMessage) {
        if (isPopoverShown(PopoverKind::Main))
            closePopover(PopoverKind::Main);
        showRecordingEndedPopover();
        m_deps.messages->startMessagesPolling(kMessagePollingAfterRecording);
        return;
    }
    // The error's own text stays in the log; the user gets a fixed sentence.
    qCInfo(lcAppDelegate).noquote() << "the recording could not be processed:" << *errorMessage;
    if (isTooShort)
        showAlert(QStringLiteral("The session was too short"),
                  QStringLiteral("Please record at least %1 seconds").arg(2));
    else
        showAlert(QStringLiteral("Unable to process your recording"),
                  QStringLiteral("Something went wrong. Please try again"));
}

void AppDelegate::updateSleepDelay()
{
    if (!m_deps.sleepWake || m_stoppingForSleep)
        return;
    // Only a running recording is stopped before sleep, so only it needs the machine to wait.
    if (m_deps.recording && m_deps.recording->state() == AudioRecordingState::Recording)
        m_deps.sleepWake->holdSleepDelay(QStringLiteral("Saving the recording"));
    else
        m_deps.sleepWake->releaseSleepDelay();
}

void AppDelegate::sleepListener()
{
    if (m_deps.recording && m_deps.recording->state() == AudioRecordingState::Recording && !m_stoppingForSleep)
        stopRecordingBeforeSleep();
}

QCoro::Task<> AppDelegate::stopRecordingBeforeSleep()
{
    QPointer<AppDelegate> self(this);
    m_stoppingForSleep = true;
    QCoro::Task<> stop = stopRecordingInBackground(m_deps.recording, QStringLiteral("before sleep"));
    co_await std::move(stop);
    if (!self)
        co_return;
    m_stoppingForSleep = false;
    // The recording is written and queued: the machine may sleep.
    updateSleepDelay();
}

void AppDelegate::wakeListener()
{
    m_deps.calendar->restoreSession();
    m_deps.messages->startMessagesPolling(kMessagePollingInterval);
    if (m_deps.uploads)
        m_deps.uploads->reuploadAll();
    else
        qCInfo(lcAppDelegate) << "the upload queue is not in this build; nothing to retry after waking";
    emit systemWoke();
}

void AppDelegate::handleArgumentsFromAnotherStart(const QStringList &arguments)
{
    qCInfo(lcAppDelegate) << "started again with" << (arguments.size() - 1) << "arguments";
    const QList<QUrl> urls = routeUrlsFromArguments(arguments);
    if (urls.isEmpty()) {
        showMainOrOnboarding();
        return;
    }
    handleOpenUrls(urls);
}

void AppDelegate::handleOpenUrls(const QList<QUrl> &urls)
{
    if (!m_initialized) {
        // The first batch waits for the launch; a later one during it adds nothing.
        if (m_urlsBeforeLaunch.isEmpty())
            m_urlsBeforeLaunch = urls;
        return;
    }
    m_router->handleOpenUrls(urls, false);
}

// Quit -------------------------------------------------------------------------------------------------

void AppDelegate::quit()
{
    if (std::exchange(m_quitting, true))
        return;
    RecordingSession *recording = m_deps.recording;
    if (!recording || recording->state() == AudioRecordingState::Stopped) {
        finishQuit();
        return;
    }
    qCInfo(lcAppDelegate) << "stopping the recording before quitting";
    m_quitTimer->start(kQuitStopTimeout, platform::Timer::Mode::SingleShot);
    stopRecordingThenQuit();
}

QCoro::Task<> AppDelegate::stopRecordingThenQuit()
{
    QPointer<AppDelegate> self(this);
    QCoro::Task<> stop = stopRecordingInBackground(m_deps.recording, QStringLiteral("to quit"));
    co_await std::move(stop);
    if (self)
        finishQuit();
}

void AppDelegate::finishQuit()
{
    if (std::exchange(m_quitReported, true))
        return;
    m_quitTimer->stop();
    emit quitReady();
}

} // namespace brelta::shell
