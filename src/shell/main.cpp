// The tray program's entry point: chooses the display platform, keeps one instance, builds the shared
// instances and hands them to the application delegate, whose launch sequence does the rest.

#include "analytics/AnalyticsManager.h"
#include "analytics/TelemetrySetup.h"
#include "backend/client/ApiClient.h"
#include "backend/client/KeychainStore.h"
#include "messages/SessionRecordingControl.h"
#include "platform/BuildInfo.h"
#include "platform/Clock.h"
#include "platform/Logging.h"
#include "platform/SettingsStore.h"
#include "platform/desktop/DisplayPlatform.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/LogindSleepMonitor.h"
#include "platform/desktop/SchemeHandler.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/desktop/TerminationSignals.h"
#include "platform/keyring/SecretStore.h"
#include "platform/permissions/PermissionManager.h"
#include "recording/session/AudioRecorderManager.h"
#include "recording/upload/AudioUploadManager.h"
#include "shell/AppDelegate.h"
#include "shell/CalendarConnections.h"
#include "shell/CalendarWiring.h"
#include "shell/MessagesWiring.h"
#include "shell/OnboardingWiring.h"
#include "shell/RecorderManagerSession.h"
#include "shell/RecorderPermissions.h"
#include "shell/ScreensWiring.h"
#include "shell/SharedAppDelegate.h"
#include "shell/WebRecorderHost.h"
#include "shell/routes/RouteRequest.h"

#include <QApplication>
#include <QDBusConnection>
#include <QIcon>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QTimer>

#include <memory>

Q_LOGGING_CATEGORY(lcMain, "brelta.shell.main")

using namespace brelta;

int main(int argc, char *argv[])
{
    const QByteArray chosenPlatform = platform::desktop::applyPreferredQpaPlatform();

    // The web-view recorder's page (Qt WebEngine) needs contexts shared from before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brelta"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Brelta"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(buildinfo::kVersion));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(buildinfo::kBundleIdentifier));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/shell/brelta.svg")));
    // A tray program has no last window whose closing should end it.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::Logging::install();

    if (!chosenPlatform.isEmpty())
        qCInfo(lcMain) << "running on XWayland (" << chosenPlatform << ") so popovers can be placed by the tray icon";
    else if (QGuiApplication::platformName() == QLatin1String("wayland"))
        qCWarning(lcMain) << "running as a Wayland client: popovers may not appear next to the tray icon";

    platform::desktop::SingleInstance instance(QString::fromLatin1(buildinfo::kBundleIdentifier));
    switch (instance.claim(QCoreApplication::arguments())) {
    case platform::desktop::SingleInstance::Role::HandedOver:
        return 0;
    case platform::desktop::SingleInstance::Role::Failed:
        qCCritical(lcMain).noquote() << "Brelta cannot start:" << instance.errorString();
        return 1;
    case platform::desktop::SingleInstance::Role::Primary:
        break;
    }
    platform::desktop::TerminationSignals terminationSignals;

    const platform::desktop::SchemeHandler::Result scheme =
        platform::desktop::SchemeHandler(QString::fromLatin1(buildinfo::kBundleIdentifier),
                                         QCoreApplication::applicationFilePath())
            .ensureRegistered();
    if (scheme.outcome == platform::desktop::SchemeHandler::Outcome::Failed)
        qCWarning(lcMain).noquote() << "brelta: links cannot be made to open Brelta:" << scheme.detail;
    else if (scheme.outcome == platform::desktop::SchemeHandler::Outcome::HandledElsewhere)
        qCInfo(lcMain).noquote() << "brelta: links open" << scheme.detail;

    platform::SystemClock clock;
    QNetworkAccessManager network;
    platform::SettingsStore settings;
    platform::SecretStore secrets;
    backend::KeychainStore keychain(&secrets);
    shell::SharedAppDelegate shared;
    backend::ApiClient api(backend::BackendHosts::compiledIn(), &keychain, &settings, &shared);
    analytics::AnalyticsManager analyticsManager;
    shell::CalendarWiring calendar(&clock, &network, &settings, &secrets, &api);
    shell::MessagesWiring messageWiring;
    platform::PermissionManager permissions(&settings);
    shell::RecorderPermissions recorderPermissions(&permissions);
    platform::desktop::LogindSleepMonitor sleepMonitor(QDBusConnection::systemBus());
    std::unique_ptr<platform::desktop::LoginItem> loginItem;
    if (BRELTA_LOGIN_ITEM_ENABLED)
        loginItem = std::make_unique<platform::desktop::LoginItem>(QString::fromLatin1(buildinfo::kBundleIdentifier),
                                                                   QCoreApplication::applicationFilePath());

    shell::SettingsCalendarConnection settingsCalendar(calendar.manager(), calendar.authenticator());
    shell::OnboardingGoogleConnection onboardingGoogle(calendar.authenticator(), &settings);
    shell::ScreensWiring::Dependencies screenParts;
    screenParts.client = &api;
    screenParts.settings = &settings;
    screenParts.clock = &clock;
    screenParts.analytics = &analyticsManager;
    screenParts.network = &network;
    screenParts.calendar = &settingsCalendar;
    shell::ScreensWiring screens(screenParts);
    shell::OnboardingWiring onboarding(shell::OnboardingWiring::Parts{
        &settings, &clock, &permissions, &api, &analyticsManager, &calendar, &messageWiring, &onboardingGoogle});

    shell::AppDelegateDependencies dependencies;
    dependencies.screens = &screens;
    dependencies.focusPrivacySettings = [&screens] { screens.focusPrivacySettings(); };
    dependencies.settings = &settings;
    dependencies.clock = &clock;
    dependencies.network = &network;
    dependencies.api = &api;
    dependencies.analytics = &analyticsManager;
    dependencies.shared = &shared;
    dependencies.calendar = &calendar;
    dependencies.calendarSync = calendar.syncState();
    dependencies.calendarManager = calendar.manager();
    dependencies.messages = &messageWiring;
    dependencies.loginItem = loginItem.get();
    dependencies.sleepWake = &sleepMonitor;
    dependencies.permissions = &permissions;
    dependencies.recorderPermissions = &recorderPermissions;
    dependencies.onboarding = &onboarding;
    dependencies.onboardingRoot = [&onboarding] { return onboarding.makeRoot(); };
    dependencies.errorTracking = analytics::launchErrorTrackerOptions();
    dependencies.analyticsConfiguration = analytics::launchAnalyticsConfiguration();
    shell::AppDelegate delegate(std::move(dependencies));
    QObject::connect(&delegate, &shell::AppDelegate::signedOut, &screens, &shell::ScreensWiring::signedOut);

    // Web-view recordings a crash cut short are completed first, so that the queue's sweep finds them.
    shell::WebRecorderHost::recoverInterruptedRecordings(recording::RecordingsFolder::defaultPath());
    // Before anything records: it sweeps the recordings folder for what an earlier run left.
    recording::AudioUploadManager uploads(
        recording::AudioUploadManagerServices{&api, &settings, &analyticsManager, delegate.errorTracker(), &clock});
    delegate.setUploadQueue(&uploads);
    recording::AudioRecorderManager recorderManager(recording::AudioRecorderManager::Services{
        clock, settings, uploads, &analyticsManager, delegate.errorTracker()});
    shell::RecorderManagerSession recordingSession(&recorderManager);
    shell::WebRecorderHost webRecorderHost(&recorderManager, &settings);
    delegate.setWebRecorderHost(&webRecorderHost);
    screens.setRecorder(&recorderManager);
    delegate.setRecordingSession(&recordingSession);
    messages::SessionRecordingControl messageRecording(&recorderManager);
    messageWiring.assemble({&delegate, &api, &settings, &clock, &analyticsManager, &messageRecording});
    calendar.attachMeetingsPanel({&delegate, &messageRecording, &analyticsManager});
    calendar.manager()->setReporting(&analyticsManager, delegate.errorTracker());
    // Meeting nudges go through the message engine, whose coaching tips look ahead in the calendar.
    calendar.setMessageEngine(messageWiring.manager());
    onboarding.attach(&delegate, &recorderManager);

    QObject::connect(&instance, &platform::desktop::SingleInstance::argumentsReceived, &delegate,
                     &shell::AppDelegate::handleArgumentsFromAnotherStart);
    QObject::connect(&terminationSignals, &platform::desktop::TerminationSignals::terminationRequested, &delegate,
                     &shell::AppDelegate::quit);
    QObject::connect(&delegate, &shell::AppDelegate::quitReady, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // The launch runs once the event loop does, as it would when the application has finished launching.
    QTimer::singleShot(0, &delegate, &shell::AppDelegate::launch);
    // A link the desktop started us with is routed once the launch has run.
    if (const QList<QUrl> urls = shell::routeUrlsFromArguments(QCoreApplication::arguments()); !urls.isEmpty())
        delegate.handleOpenUrls(urls);
    const int status = QApplication::exec();
    qCInfo(lcMain) << "Brelta ends with status" << status;
    return status;
}
