#include "ShellTestSupport.h"

#include "platform/keyring/KeyringControl.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "shell/PopoverSizes.h"
#include "shell/popovers/PlaceholderRoots.h"
#include "shell/popovers/SettingsWindow.h"
#include "shell/tray/StatusItem.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using brelta::recording::AudioRecordingState;
using brelta::shell::AlertRoot;
using brelta::shell::AppDelegate;
using brelta::shell::PopoverKind;
using brelta::testsupport::awaitTask;
using brelta::testsupport::shell::ShellFixture;
using brelta::testsupport::shell::waitUntil;
namespace settings = brelta::platform::settings;
namespace keyring = brelta::testsupport::keyring;

Q_DECLARE_METATYPE(PopoverKind)
Q_DECLARE_METATYPE(AudioRecordingState)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<bool>)
Q_DECLARE_METATYPE(std::chrono::milliseconds)

namespace {

const QString kUserInfoPath = QStringLiteral("/quombler/v2/GetUserInfo");

QString alertTitle(const AppDelegate &delegate)
{
    auto *root = qobject_cast<AlertRoot *>(delegate.popovers()->window(PopoverKind::Alert)->root());
    return root ? root->title() : QString();
}

QString alertMessage(const AppDelegate &delegate)
{
    auto *root = qobject_cast<AlertRoot *>(delegate.popovers()->window(PopoverKind::Alert)->root());
    return root ? root->message() : QString();
}

} // namespace

class AppDelegateTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

private slots:
    void init() { f = std::make_unique<ShellFixture>(); }
    void cleanup() { f.reset(); }

    // Launch -----------------------------------------------------------------------------------------

    void launchRunsItsStepsInOrderAndTheServicesAfterTheTokenRead()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        const QStringList expected{
            QStringLiteral("Published"),
            QStringLiteral("ErrorReporting"),
            QStringLiteral("StatusItemAndPopovers"),
            QStringLiteral("SettingsWindow"),
            QStringLiteral("TokenLoadStarted"),
            QStringLiteral("Analytics"),
            QStringLiteral("WebRecorderHost"),
            QStringLiteral("SleepWake"),
            QStringLiteral("RecordingDelegate"),
            QStringLiteral("StatusImage"),
            QStringLiteral("RecordingUsername"),
            QStringLiteral("OnboardingScheduled"),
            QStringLiteral("Initialized"),
            QStringLiteral("LoginItem"),
            QStringLiteral("calendar.restoreSession (held)"),
            QStringLiteral("calendar.scheduleIntegrationReminder"),
            QStringLiteral("messages.startMessagesPolling 900"),
            QStringLiteral("messages.scheduleCoachingTips"),
            QStringLiteral("ServicesStarted"),
        };
        QCOMPARE(f->trace, expected);
        QVERIFY(f->delegate->isAppInitialized());
        QCOMPARE(f->shared.delegate(), f->delegate.get());
        QCOMPARE(f->recording.usernames, QStringList{f->server.seededUser().email});
        QCOMPARE(f->delegate->analyticsClient()->userId(), *f->settings.text(settings::kUserId));
        QCOMPARE(f->analytics.client(), f->delegate->analyticsClient());
        QVERIFY(!f->delegate->settingsWindow()->isVisible());
        QCOMPARE(f->delegate->settingsWindow()->size(), QSize(480, 320));
        QCOMPARE(f->delegate->settingsWindow()->windowTitle(), QStringLiteral("Brelta"));
        // A launch with onboarding done opens nothing by itself.
        f->clock.advance(2s);
        QVERIFY(f->shownPopovers().isEmpty());
    }

    void aFirstLaunchOpensOnboardingAfterOneSecond()
    {
        f->makeDelegate();
        f->delegate->launch();
        QVERIFY(f->analytics.client());
        QVERIFY(f->delegate->analyticsClient()->userId().isEmpty());
        f->clock.advance(999ms);
        QVERIFY(!f->shown(PopoverKind::Onboarding));
        f->clock.advance(1ms);
        QVERIFY(f->shown(PopoverKind::Onboarding));
        QTRY_VERIFY(f->delegate->popovers()->window(PopoverKind::Onboarding)->isActiveWindow());
    }

    void theDelayedOnboardingChecksAgain()
    {
        f->makeDelegate();
        f->delegate->launch();
        f->clock.advance(500ms);
        f->settings.setValue(settings::kOnboardingCompleted, true);
        f->clock.advance(1s);
        QVERIFY(!f->shown(PopoverKind::Onboarding));
    }

    // The backend client's own reports (here: a keyring it cannot read) reach the error tracker, with the
    // stored user.
    void theClientsReportsReachTheErrorTracker()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        keyring::LockedKeyring locked;
        QVERIFY(locked.isLocked());
        QVERIFY(f->launchAndWaitForServices());
        QVERIFY(waitUntil([this] { return !f->server.collector().errorEvents().isEmpty(); }, 15000));
        const nlohmann::json event = f->server.collector().errorEvents().first();
        QVERIFY2(event.dump().find("failed to read the tokens from the keychain") != std::string::npos,
                 event.dump().c_str());
        QCOMPARE(QString::fromStdString(event["user"]["id"].get<std::string>()), *f->settings.text(settings::kUserId));
    }

    // Each launch writes the autostart entry; a refusal goes to the error tracker and the launch goes on.
    void theLoginItemIsRegisteredOnEachLaunch_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("written") << true;
        QTest::newRow("refused: reported") << false;
    }

    void theLoginItemIsRegisteredOnEachLaunch()
    {
        QFETCH(bool, writable);
        const QString folder = f->storage.filePath(QStringLiteral("autostart"));
        if (!writable) {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        f->loginItem = std::make_unique<brelta::platform::desktop::LoginItem>(
            QStringLiteral("com.brelta.desktop"), QStringLiteral("/usr/bin/brelta"), folder);
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        QVERIFY(f->delegate->isAppInitialized());
        QCOMPARE(QFile::exists(f->loginItem->entryPath()), writable);
        if (writable)
            return;
        QVERIFY(waitUntil([this] { return !f->server.collector().errorEvents().isEmpty(); }));
        const std::string event = f->server.collector().errorEvents().first().dump();
        QVERIFY2(event.find("LoginItemError") != std::string::npos, event.c_str());
    }

    // Clicks and the session ------------------------------------------------------------------------

    // A click before the stored tokens were read waits for them instead of signing the user out.
    void aClickBeforeTheTokensAreReadWaits()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        f->delegate->launch();
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::NotRead);
        f->delegate->handleStatusItemClick();
        QVERIFY(!f->shown(PopoverKind::Main));
        QVERIFY(waitUntil([this] { return f->shown(PopoverKind::Main); }));
        f->clock.advance(1s);
        QVERIFY(!f->trace.contains(QStringLiteral("messages.stopTimers")));
        QCOMPARE(f->settings.text(settings::kUsername), f->server.seededUser().email);
    }

    // A locked keyring is no sign-out: the click opens the main popover and the user's data stays.
    void aLockedKeyringDoesNotSignOut()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        keyring::LockedKeyring locked;
        QVERIFY(locked.isLocked());
        QVERIFY(f->launchAndWaitForServices());
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Unreadable);
        QVERIFY(f->trace.contains(QStringLiteral("calendar.restoreSession (unreadable)")));

        f->delegate->handleStatusItemClick();
        QVERIFY(f->shown(PopoverKind::Main));
        f->clock.advance(1s);
        QVERIFY(f->shown(PopoverKind::Main));
        QVERIFY(!f->shown(PopoverKind::Onboarding));
        QCOMPARE(f->settings.text(settings::kUsername), f->server.seededUser().email);
        QVERIFY(f->settings.value(settings::kOnboardingCompleted));

        // Once the keyring opens, the tokens are there again.
        QVERIFY(locked.unlock());
        QVERIFY(waitUntil([this] { return f->api->accessTokenState() == brelta::backend::ApiClient::TokenState::Held; },
                          20000));
    }

    // Only the keyring's own "not found" signs out: then the user's state goes and onboarding shows.
    void noStoredTokenSignsOut()
    {
        f->settings.setText(settings::kUsername, QStringLiteral("someone@brelta.test"));
        f->settings.setText(settings::kUserId, QStringLiteral("user-1"));
        f->settings.setValue(settings::kOnboardingCompleted, true);
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Absent);

        f->delegate->handleStatusItemClick();
        QVERIFY(!f->shown(PopoverKind::Main));
        f->clock.advance(499ms);
        QVERIFY(!f->shown(PopoverKind::Onboarding));
        f->clock.advance(1ms);
        QVERIFY(f->shown(PopoverKind::Onboarding));
        QCOMPARE(f->settings.text(settings::kUsername), QString());
        QCOMPARE(f->settings.text(settings::kUserId), QString());
        QVERIFY(!f->settings.value(settings::kOnboardingCompleted));
        QVERIFY(f->trace.contains(QStringLiteral("messages.stopTimers")));
        QVERIFY(f->trace.contains(QStringLiteral("calendar.disconnect")));
        QCOMPARE(f->recording.usernames.last(), QString());
    }

    // The backend client signs out through the shared delegate, which reaches the shell once it is published.
    void aSignOutFromTheBackendClientReachesTheShell()
    {
        f->storeSignedInUser();
        f->shared.logOut(); // before the launch: no shell yet, nothing happens
        QCOMPARE(f->settings.text(settings::kUsername), f->server.seededUser().email);

        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->handleStatusItemClick();
        QVERIFY(f->shown(PopoverKind::Main));
        f->recording.stopsAtOnce = true;
        f->recording.setState(AudioRecordingState::Recording);

        f->shared.logOut();
        QVERIFY(!f->shown(PopoverKind::Main));
        f->clock.advance(500ms);
        QVERIFY(f->shown(PopoverKind::Onboarding));
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Absent);
        QCOMPARE(f->recording.stopCount, 1);
        QVERIFY(waitUntil([this] { return awaitTaskStatus() == brelta::platform::SecretRead::Status::Absent; }));
    }

    // Left click: what is open before, what is open after.
    void leftClick_data()
    {
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<QList<PopoverKind>>("before");
        QTest::addColumn<QList<PopoverKind>>("after");
        using K = PopoverKind;

        QTest::newRow("nothing open: main") << true << QList<K>{} << QList<K>{K::Main};
        QTest::newRow("nothing open before onboarding: onboarding") << false << QList<K>{} << QList<K>{K::Onboarding};
        QTest::newRow("recording-ended open: main in its place")
            << true << QList<K>{K::RecordingEnded} << QList<K>{K::Main};
        QTest::newRow("post-onboarding hint open: main in its place")
            << true << QList<K>{K::PostOnboarding} << QList<K>{K::Main};
        QTest::newRow("alert open before onboarding: onboarding alone")
            << false << QList<K>{K::Alert} << QList<K>{K::Onboarding};
        QTest::newRow("several open: one main")
            << true << QList<K>{K::RecordingStarted, K::Notification, K::Alert} << QList<K>{K::Main};
        QTest::newRow("the recording reminder stays")
            << true << QList<K>{K::RecordingReminder} << QList<K>{K::Main, K::RecordingReminder};
        QTest::newRow("main open: stays open") << true << QList<K>{K::Main} << QList<K>{K::Main};
    }

    void leftClick()
    {
        QFETCH(bool, onboarded);
        QFETCH(QList<PopoverKind>, before);
        QFETCH(QList<PopoverKind>, after);
        if (onboarded)
            f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        for (const PopoverKind kind : before)
            f->delegate->showPopover(kind);
        QCOMPARE(f->shownPopovers(), before);

        f->delegate->handleStatusItemClick();
        QCOMPARE(f->shownPopovers(), after);
        // Nothing more follows a moment later.
        f->clock.advance(2s);
        QCOMPARE(f->shownPopovers(), after);
    }

    void theMainPopoverIsTheSignInSizeWhileSignedOut()
    {
        // A session is held but no user name is stored (tokens found that way at launch are deleted, so
        // the name goes after the launch).
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->settings.setText(settings::kUsername, QString());
        f->delegate->handleStatusItemClick();
        QVERIFY(f->shown(PopoverKind::Main));
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Main)->size(), QSize(355, 515));
    }

    // Feature refresh ---------------------------------------------------------------------------------

    void theFeatureListSetsTheRecorderChoice()
    {
        f->storeSignedInUser();
        f->server.setEnabledFeatures({QStringLiteral("FEATURE_USE_EXPERIMENT_AUDIO_RECORDER")});
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->showMainPopover();
        QTRY_VERIFY(f->settings.boolValue(settings::kUseExperimentAudioRecorder.key.storedName()).value_or(false));

        // A failed request leaves the choice as it was.
        f->server.setFailure(kUserInfoPath, 500);
        f->delegate->showMainPopover();
        QTRY_COMPARE(f->server.receivedRequests(kUserInfoPath).size(), 2);
        QTest::qWait(100);
        QVERIFY(f->settings.value(settings::kUseExperimentAudioRecorder));
    }

    void oneFeatureRefreshAtATime()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->server.setHang(kUserInfoPath, true);
        f->delegate->showMainPopover();
        f->delegate->showMainPopover();
        f->delegate->handleStatusItemClick();
        QTRY_COMPARE(f->server.heldRequestCount(), 1);
        QTest::qWait(200);
        QCOMPARE(f->server.receivedRequests(kUserInfoPath).size(), 1);
    }

    void noFeatureRefreshWhileSignedOut()
    {
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->showMainPopover();
        QVERIFY(f->shown(PopoverKind::Main));
        QTest::qWait(300);
        QCOMPARE(f->server.receivedRequests(kUserInfoPath).size(), 0);
    }

    // Recording ----------------------------------------------------------------------------------------

    void theStatusImageFollowsTheRecordingState()
    {
        f->makeDelegate();
        f->delegate->launch();
        auto *item = f->delegate->statusItem();
        QVERIFY(!item->showsRecordingImage());
        f->recording.setState(AudioRecordingState::Recording);
        QVERIFY(item->showsRecordingImage());
        f->recording.setState(AudioRecordingState::Paused);
        QVERIFY(!item->showsRecordingImage());
        f->recording.setState(AudioRecordingState::Recording);
        QVERIFY(item->showsRecordingImage());
        f->recording.setState(AudioRecordingState::Stopped);
        QVERIFY(!item->showsRecordingImage());
    }

    void aProcessedRecordingEndsInThePopoverOrAnAlert_data()
    {
        QTest::addColumn<bool>("isTooShort");
        QTest::addColumn<std::optional<QString>>("errorMessage");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("queued for upload") << false << std::optional<QString>() << ""
                                           << "";
        QTest::newRow("too short") << true << std::optional(QStringLiteral("recording too short: 1.2 s"))
                                   << "The session was too short"
                                   << "Please record at least 2 seconds";
        QTest::newRow("failed") << false << std::optional(QStringLiteral("<b>disk full</b>"))
                                << "Unable to process your recording"
                                << "Something went wrong. Please try again";
    }

    void aProcessedRecordingEndsInThePopoverOrAnAlert()
    {
        QFETCH(bool, isTooShort);
        QFETCH(std::optional<QString>, errorMessage);
        QFETCH(QString, title);
        QFETCH(QString, message);
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->showMainPopover();
        f->trace.clear();

        emit f->recording.recordingFinished(isTooShort, errorMessage);
        if (!errorMessage) {
            QVERIFY(!f->shown(PopoverKind::Main));
            QVERIFY(f->shown(PopoverKind::RecordingEnded));
            QCOMPARE(f->trace, QStringList{QStringLiteral("messages.startMessagesPolling 30")});
            f->clock.advance(3s);
            QVERIFY(!f->shown(PopoverKind::RecordingEnded));
            return;
        }
        QVERIFY(f->shown(PopoverKind::Alert));
        QVERIFY(!f->delegate->popovers()->window(PopoverKind::Alert)->isActiveWindow());
        QCOMPARE(alertTitle(*f->delegate), title);
        QCOMPARE(alertMessage(*f->delegate), message);
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Alert)->width(), 285);
        // The alert has no timer: it waits for the user.
        f->clock.advance(1h);
        QVERIFY(f->shown(PopoverKind::Alert));
    }

    void twoAlertsInARowLeaveTheSecond()
    {
        f->makeDelegate();
        f->delegate->launch();
        f->delegate->showAlert(QStringLiteral("First"), QStringLiteral("short"));
        const QString longMessage = QString(300, QLatin1Char('w'));
        f->delegate->showAlert(QStringLiteral("Second"), longMessage);
        QCOMPARE(alertTitle(*f->delegate), QStringLiteral("Second"));
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Alert)->size(),
                 QSize(285, AlertRoot::heightFor(QStringLiteral("Second"), longMessage)));
        QVERIFY(f->delegate->popovers()->window(PopoverKind::Alert)->height() > 75);
    }

    void theReminderPopoverComesFromTheSession()
    {
        f->makeDelegate();
        f->delegate->launch();
        emit f->recording.reminderDue();
        QVERIFY(f->shown(PopoverKind::RecordingReminder));
        f->clock.advance(5s);
        QVERIFY(!f->shown(PopoverKind::RecordingReminder));
    }

    void recordingStartedSizeFollowsPrivacyControl_data()
    {
        QTest::addColumn<std::optional<bool>>("privacyControl");
        QTest::addColumn<QSize>("size");
        QTest::newRow("never written: on") << std::optional<bool>() << QSize(235, 64);
        QTest::newRow("on") << std::optional(true) << QSize(235, 64);
        QTest::newRow("off: the headset warning") << std::optional(false) << QSize(328, 156);
    }

    void recordingStartedSizeFollowsPrivacyControl()
    {
        QFETCH(std::optional<bool>, privacyControl);
        QFETCH(QSize, size);
        if (privacyControl)
            f->settings.setValue(settings::kUseWebViewRecorderNewest, *privacyControl);
        f->makeDelegate();
        f->delegate->launch();
        f->delegate->showRecordingStartedPopover();
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::RecordingStarted)->size(), size);
    }

    // Turning away from the open main popover while recording shows the recording-started popover once.
    void leavingTheMainPopoverWhileRecordingShowsTheStartedPopoverOnce()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->recording.setState(AudioRecordingState::Recording);
        QWidget elsewhere;
        elsewhere.setGeometry(40, 500, 200, 100);
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&elsewhere));

        for (int round = 0; round < 2; ++round) {
            f->delegate->showMainPopover();
            QTRY_VERIFY(f->delegate->popovers()->window(PopoverKind::Main)->isActiveWindow());
            elsewhere.activateWindow();
            QTRY_VERIFY(!f->shown(PopoverKind::Main));
            f->clock.advance(299ms);
            QVERIFY(!f->shown(PopoverKind::RecordingStarted));
            f->clock.advance(1ms);
            QCOMPARE(f->shown(PopoverKind::RecordingStarted), round == 0);
            QVERIFY(f->recording.hasDisplayedRecordingPopover());
            f->clock.advance(5s);
        }
    }

    // Going to sleep stops a running recording (a paused one stays); waking restarts the services.
    void sleepAndWake_data()
    {
        QTest::addColumn<AudioRecordingState>("state");
        QTest::addColumn<int>("stops");
        QTest::newRow("recording: stopped") << AudioRecordingState::Recording << 1;
        QTest::newRow("paused: left alone") << AudioRecordingState::Paused << 0;
        QTest::newRow("idle") << AudioRecordingState::Stopped << 0;
    }

    void sleepAndWake()
    {
        QFETCH(AudioRecordingState, state);
        QFETCH(int, stops);
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->recording.stopsAtOnce = true;
        f->recording.setState(state);
        f->trace.clear();

        emit f->sleepWake.aboutToSleep();
        QCOMPARE(f->recording.stopCount, stops);
        emit f->sleepWake.woke();
        QCOMPARE(f->trace, (QStringList{QStringLiteral("calendar.restoreSession (absent)"),
                                        QStringLiteral("messages.startMessagesPolling 900")}));
    }

    // Quit ---------------------------------------------------------------------------------------------

    void quit_data()
    {
        QTest::addColumn<AudioRecordingState>("state");
        QTest::addColumn<bool>("handsOff");
        QTest::addColumn<std::chrono::milliseconds>("quitsAfter");
        QTest::newRow("idle: at once") << AudioRecordingState::Stopped << true << 0ms;
        QTest::newRow("recording: once handed off") << AudioRecordingState::Recording << true << 1200ms;
        QTest::newRow("paused: stopped and handed off too") << AudioRecordingState::Paused << true << 800ms;
        QTest::newRow("a stop that hangs: after 5 s") << AudioRecordingState::Recording << false << 5000ms;
    }

    void quit()
    {
        QFETCH(AudioRecordingState, state);
        QFETCH(bool, handsOff);
        QFETCH(std::chrono::milliseconds, quitsAfter);
        f->makeDelegate();
        f->delegate->launch();
        f->recording.setState(state);
        QSignalSpy ready(f->delegate.get(), &AppDelegate::quitReady);
        if (handsOff && quitsAfter > 0ms)
            QTimer::singleShot(0, [this, quitsAfter] {
                f->clock.advance(quitsAfter);
                f->recording.handOff();
            });

        f->delegate->quit();
        f->delegate->quit(); // asked twice: one quit
        if (quitsAfter == 0ms) {
            QCOMPARE(ready.size(), 1);
            QCOMPARE(f->recording.stopCount, 0);
            return;
        }
        QCOMPARE(ready.size(), 0);
        QCOMPARE(f->recording.stopCount, 1);
        if (handsOff) {
            QTRY_COMPARE(ready.size(), 1);
        } else {
            f->clock.advance(quitsAfter - 1ms);
            QCOMPARE(ready.size(), 0);
            f->clock.advance(1ms);
            QCOMPARE(ready.size(), 1);
            // The hand-off arriving late changes nothing.
            f->recording.handOff();
        }
        QTest::qWait(10);
        QCOMPARE(ready.size(), 1);
    }

    void quitFromTheMenuAndWithCtrlQ_data()
    {
        QTest::addColumn<bool>("shortcut");
        QTest::newRow("Quit Brelta in the menu") << false;
        QTest::newRow("Ctrl+Q in the main popover") << true;
    }

    void quitFromTheMenuAndWithCtrlQ()
    {
        QFETCH(bool, shortcut);
        f->storeSignedInUser();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        QSignalSpy ready(f->delegate.get(), &AppDelegate::quitReady);
        QCOMPARE(f->delegate->statusItem()->quitAction()->text(), QStringLiteral("Quit Brelta"));
        if (shortcut) {
            f->delegate->showMainPopover();
            auto *main = f->delegate->popovers()->window(PopoverKind::Main);
            QTRY_VERIFY(main->isActiveWindow());
            QTest::keyClick(main, Qt::Key_Q, Qt::ControlModifier);
        } else {
            f->delegate->statusItem()->quitAction()->trigger();
        }
        QTRY_COMPARE(ready.size(), 1);
    }

    void anotherStartOpensThePopover()
    {
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->handleArgumentsFromAnotherStart({QStringLiteral("brelta")});
        QVERIFY(f->shown(PopoverKind::Onboarding));
    }

private:
    brelta::platform::SecretRead::Status awaitTaskStatus()
    {
        const auto read = awaitTask(f->keychain.getString(brelta::backend::KeychainKey::AccessToken));
        return read.value ? read.value->status : brelta::platform::SecretRead::Status::Failed;
    }
};

BRELTA_SHELL_TEST_MAIN(AppDelegateTest, StatusNotifierItem)
#include "tst_appdelegate.moc"
