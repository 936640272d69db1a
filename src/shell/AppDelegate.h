#pragma once

#include "platform/Clock.h"
#include "platform/desktop/PopoverWindow.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"
#include "shell/popovers/PopoverTable.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::calendar {
class CalendarManager;
class ReminderPopover;
} // namespace brelta::calendar
namespace brelta::designsystem {
class AlertPresenter;
}
namespace brelta::platform {
class PermissionManager;
class SettingsStore;
namespace desktop {
class LoginItem;
class LogindSleepMonitor;
} // namespace desktop
} // namespace brelta::platform
namespace brelta::recording {
class AudioUploadManager;
}

namespace brelta::shell {

class CalendarService;
class CalendarSyncState;
class FeatureRefresh;
class MainViewViewModel;
class MicrophonePermissions;
class MessageService;
class Popovers;
class RecordingSession;
class ScreensWiring;
class SettingsWindow;
class SharedAppDelegate;
class StatusItem;
class UrlRouter;
class PanelSwitcher;
class OnboardingNavigator;
class WebRecorderHost;

// The shared instances the delegate works with, made in main (or by a test) and handed in. Those marked
// optional may be null: the launch then logs that the part is not in this build and goes on without it.
struct AppDelegateDependencies
{
    platform::SettingsStore *settings = nullptr;
    platform::Clock *clock = nullptr;
    QNetworkAccessManager *network = nullptr;
    backend::ApiClient *api = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    SharedAppDelegate *shared = nullptr;
    CalendarService *calendar = nullptr;
    MessageService *messages = nullptr;
    // The manager whose connect-calendar reminder the alert popover shows, and whose calendar the card
    // connects. None: no reminder card.
    calendar::CalendarManager *calendarManager = nullptr;
    // Optional.
    RecordingSession *recording = nullptr;
    WebRecorderHost *webRecorder = nullptr;
    platform::desktop::LogindSleepMonitor *sleepWake = nullptr;
    platform::desktop::LoginItem *loginItem = nullptr;
    recording::AudioUploadManager *uploads = nullptr;
    platform::PermissionManager *permissions = nullptr;
    // The main view's panel model and the onboarding flow, as the links drive them. No panel switcher: the
    // delegate's own main view model.
    PanelSwitcher *panels = nullptr;
    OnboardingNavigator *onboarding = nullptr;
    // The main popover's recorder row and header. No permissions: the row offers "Record" at once. No
    // calendar state: the meetings button shows the not-synced dot. No alert presenter: the modal one.
    MicrophonePermissions *recorderPermissions = nullptr;
    CalendarSyncState *calendarSync = nullptr;
    designsystem::AlertPresenter *alerts = nullptr;
    // The onboarding popover's content, made during the launch; none: a placeholder.
    std::function<QWidget *()> onboardingRoot;
    // Puts the settings panel's focus on its privacy card ("Go to settings" of the recording-started
    // popover); the settings panel fills it.
    std::function<void()> focusPrivacySettings;
    // Optional: the sign-in screen, settings panel and settings window's content; placeholders without it.
    ScreensWiring *screens = nullptr;
    // The telemetry clients the launch starts (steps 2 and 6).
    platform::ErrorTrackerOptions errorTracking;
    platform::AnalyticsConfiguration analyticsConfiguration;
};

// The hub of the program: runs the launch sequence, owns the tray icon, the eight popovers, the status
// menu and the settings window, and is what every other part calls to show or close a popover, to sign the
// user out or to quit. Lives on the main thread for the whole process.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // The steps of launch(), in their order, and the start of the services once the tokens were read.
    enum class LaunchStep {
        Published,
        ErrorReporting,
        StatusItemAndPopovers,
        SettingsWindow,
        TokenLoadStarted,
        Analytics,
        WebRecorderHost,
        SleepWake,
        RecordingDelegate,
        StatusImage,
        RecordingUsername,
        OnboardingScheduled,
        Initialized,
        LoginItem,
        ServicesStarted,
    };
    Q_ENUM(LaunchStep)

    static constexpr std::chrono::milliseconds kOnboardingDelay{1000};
    static constexpr std::chrono::milliseconds kRecordingStartedAfterResign{300};
    static constexpr std::chrono::milliseconds kLogOutDelay{500};
    static constexpr std::chrono::milliseconds kQuitStopTimeout{5000};
    static constexpr std::chrono::milliseconds kGoToSettingsDelay{500};
    static constexpr std::chrono::seconds kMessagePollingInterval{900};
    static constexpr std::chrono::seconds kMessagePollingAfterRecording{30};
    static constexpr std::chrono::milliseconds kSetUserAfterSignIn{300};
    static constexpr std::chrono::milliseconds kMainPopoverAfterSignIn{500};
    static inline const QString kCalendarUnavailableTitle = QStringLiteral("Google Calendar is not available");

    explicit AppDelegate(AppDelegateDependencies dependencies, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The upload queue, made in main with this delegate's error tracker; set before launch().
    void setUploadQueue(recording::AudioUploadManager *uploads) { m_deps.uploads = uploads; }
    // The web-view recorder's page host, made in main over the recorder manager; set before launch().
    void setWebRecorderHost(WebRecorderHost *host) { m_deps.webRecorder = host; }
    // The recording session, made in main over the recorder manager (which reports to this delegate's
    // error tracker); set before launch().
    void setRecordingSession(RecordingSession *recording);

    // The launch sequence; runs once.
    void launch();
    bool isAppInitialized() const { return m_initialized; }
    bool hasTrayHost() const;

    // Popovers ---------------------------------------------------------------------------------------

    // Shows a popover by the tray icon. With `activate` it also takes the focus (focus-taking popovers only).
    void showPopover(PopoverKind kind, bool activate = false);
    void closePopover(PopoverKind kind);
    bool isPopoverShown(PopoverKind kind) const;

    // The main popover once onboarding is done and the user holds a session, the onboarding popover before.
    // Waits for the stored tokens to be read first; signs out only when the keyring says there is no token.
    void showMainOrOnboarding();
    void showMainPopover();
    void showOnboardingPopover();
    void showRecordingEndedPopover();
    void showRecordingStartedPopover();
    void showRecordingReminderPopover();
    void closeNotificationPopover();
    // The alert popover with these texts, without taking the focus; it stays until tapped or a click on
    // the tray icon.
    void showAlert(const QString &title, const QString &message);
    // The connect-calendar reminder card in the alert popover, without taking the focus. The calendar
    // manager's reminder calls it.
    void showCalendarIntegrationReminder();

    // The tray icon's left click: closes the hint, recording, notification and alert popovers that are
    // open, then opens the main or onboarding popover once.
    void handleStatusItemClick();

    // Session -----------------------------------------------------------------------------------------

    // The sign-in screen signed the user in: the main popover closes and reopens with the main view.
    void didSignIn(const QString &userId, const QString &username);
    // Makes the identity the signed-in user and starts the services that work for them.
    void setUser(const QString &userId, const QString &username);
    // Signs out: closes the main popover and, shortly after, ends a running recording (handed to the
    // upload queue under its owner), forgets the user and their session and shows onboarding. A second
    // call while one is pending adds nothing.
    void logOut();
    bool isSigningOut() const { return m_signOutPending; }

    // The recording session's outcome of processing a finished recording.
    void handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage);

    // Quitting: stops a recording under way (running or paused) and waits up to kQuitStopTimeout for it to
    // be handed to the upload queue, then emits quitReady(). Asking again meanwhile changes nothing.
    void quit();
    bool isQuitting() const { return m_quitting; }

    // The second start of the program handed over its arguments; a link among them is routed.
    void handleArgumentsFromAnotherStart(const QStringList &arguments);
    // "brelta://app/…" links; the first of the batch is routed. Links that come before the launch has run
    // wait for it, and their ending popover waits a further second.
    void handleOpenUrls(const QList<QUrl> &urls);
    UrlRouter *router() const { return m_router.get(); }

    // Parts, for the screens and for tests.
    Popovers *popovers() const { return m_popovers.get(); }
    StatusItem *statusItem() const { return m_statusItem.get(); }
    SettingsWindow *settingsWindow() const { return m_settingsWindow.get(); }
    platform::ErrorTracker *errorTracker() const { return m_errorTracker.get(); }
    platform::AnalyticsClient *analyticsClient() const { return m_analyticsClient.get(); }
    // Which panel the main popover shows; the URL routes and the recording-started popover switch it.
    MainViewViewModel *mainViewModel() const { return m_mainViewModel.get(); }

signals:
    void launchStepDone(brelta::shell::AppDelegate::LaunchStep step);
    // The machine woke: timers that keep wall-clock times re-arm from it.
    void systemWoke();
    // A sign-out has finished all its steps.
    void signedOut();
    // Everything is in order to end the process.
    void quitReady();

private:
    void setUpErrorReporting();
    void setUpStatusItemAndPopovers();
    QWidget *makeMainRoot();
    void setUpRecordingPopovers();
    void goToPrivacySettings();
    void setUpAnalytics();
    QCoro::Task<> loadTokensThenStartServices();
    void startServices();
    void observeSleepAndWake();
    void attachRecordingSession();
    void scheduleOnboardingPopover();
    void registerLoginItem();
    void step(LaunchStep done);

    void updateStatusImage();
    void onPopoverDismissed(PopoverKind kind, platform::desktop::PopoverWindow::DismissReason reason);
    void applicationDidResignActive();
    QCoro::Task<> completeLogOut();
    void sleepListener();
    QCoro::Task<> stopRecordingBeforeSleep();
    void wakeListener();
    void updateSleepDelay();
    QCoro::Task<> stopRecordingThenQuit();
    void finishQuit();

    bool onboardingCompleted() const;
    QString storedUsername() const;

    AppDelegateDependencies m_deps;
    std::unique_ptr<platform::ErrorTracker> m_errorTracker;
    std::unique_ptr<platform::AnalyticsClient> m_analyticsClient;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<Popovers> m_popovers;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    std::unique_ptr<FeatureRefresh> m_featureRefresh;
    std::unique_ptr<MainViewViewModel> m_mainViewModel;
    std::unique_ptr<designsystem::AlertPresenter> m_ownAlerts;
    std::unique_ptr<calendar::ReminderPopover> m_reminderPopover;
    std::unique_ptr<platform::Timer> m_onboardingTimer;
    std::unique_ptr<platform::Timer> m_resignTimer;
    std::unique_ptr<platform::Timer> m_logOutTimer;
    std::unique_ptr<platform::Timer> m_quitTimer;
    std::unique_ptr<platform::Timer> m_goToSettingsTimer;
    std::unique_ptr<platform::Timer> m_setUserTimer;
    std::unique_ptr<platform::Timer> m_mainAfterSignInTimer;
    std::unique_ptr<UrlRouter> m_router;
    std::optional<std::pair<QString, QString>> m_signedInUser; // waiting for m_setUserTimer
    QList<QUrl> m_urlsBeforeLaunch;

    bool m_launched = false;
    bool m_initialized = false;
    bool m_tokensRead = false;
    // A click came before the stored tokens were read: answer it once they are.
    bool m_showMainAfterTokenRead = false;
    bool m_quitting = false;
    bool m_quitReported = false;
    bool m_signOutPending = false;
    bool m_stoppingForSleep = false;
};

} // namespace brelta::shell
