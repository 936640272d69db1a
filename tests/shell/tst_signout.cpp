#include "ShellTestSupport.h"

#include "recording/upload/AudioUploadManager.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using brelta::recording::AudioRecordingState;
using brelta::recording::AudioUploadManager;
using brelta::shell::AppDelegate;
using brelta::shell::PopoverKind;
using brelta::testsupport::awaitTask;
using brelta::testsupport::shell::ShellFixture;
using brelta::testsupport::shell::waitUntil;
namespace settings = brelta::platform::settings;
using Status = brelta::platform::SecretRead::Status;

Q_DECLARE_METATYPE(AudioRecordingState)

class SignOutTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    std::unique_ptr<AudioUploadManager> uploads;

    void launchSignedIn()
    {
        f->storeSignedInUser();
        f->makeDelegate();
        uploads = std::make_unique<AudioUploadManager>(
            brelta::recording::AudioUploadManagerServices{f->api.get(), &f->settings, &f->analytics,
                                                          f->delegate->errorTracker(), &f->clock},
            f->storage.filePath(QStringLiteral("recordings")));
        f->delegate->setUploadQueue(uploads.get());
        QVERIFY(f->launchAndWaitForServices());
        f->recording.trace = &f->trace;
    }

    Status storedToken(brelta::backend::KeychainKey key)
    {
        const auto read = awaitTask(f->keychain.getString(key));
        return read.value ? read.value->status : Status::Failed;
    }

private slots:
    void init() { f = std::make_unique<ShellFixture>(); }
    void cleanup()
    {
        f->delegate.reset();
        uploads.reset();
        f.reset();
    }

    // The running recording stops and is handed off first, under its owner; then every piece of the
    // user's state goes, in order, and onboarding shows.
    void signOutStopsTheRecordingFirstThenClearsEverything()
    {
        launchSignedIn();
        f->recording.setState(AudioRecordingState::Recording);
        f->delegate->showMainPopover();
        f->trace.clear();
        QSignalSpy signedOut(f->delegate.get(), &AppDelegate::signedOut);

        f->delegate->logOut();
        f->delegate->logOut(); // a second one while pending adds nothing
        QVERIFY(!f->shown(PopoverKind::Main));
        f->clock.advance(500ms);
        QCOMPARE(f->trace, QStringList{QStringLiteral("recording.stop")});
        // The user is still there while the recording is handed to the queue.
        QCOMPARE(f->settings.text(settings::kUsername), f->server.seededUser().email);
        f->recording.handOff();
        QVERIFY(waitUntil([&] { return signedOut.size() == 1; }));

        const QStringList expected{
            QStringLiteral("recording.stop"),
            QStringLiteral("recording.handedOff"),
            QStringLiteral("messages.clearProcessedMessageIds"),
            QStringLiteral("messages.stopTimers"),
            QStringLiteral("messages.clearMessagesAndHistory"),
            QStringLiteral("calendar.disconnect"),
            QStringLiteral("calendar.signOutOfGoogle"),
        };
        QCOMPARE(f->trace, expected);
        QCOMPARE(f->recording.stopCount, 1);
        QCOMPARE(f->recording.usernames.last(), QString());
        QCOMPARE(f->settings.text(settings::kUsername), QString());
        QCOMPARE(f->settings.text(settings::kUserId), QString());
        QVERIFY(!f->settings.value(settings::kOnboardingCompleted));
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Absent);
        QVERIFY(f->delegate->analyticsClient()->userId().isEmpty());
        QVERIFY(f->shown(PopoverKind::Onboarding));
        QVERIFY(waitUntil([&] { return storedToken(brelta::backend::KeychainKey::AccessToken) == Status::Absent; }));
        QCOMPARE(storedToken(brelta::backend::KeychainKey::RefreshToken), Status::Absent);
        f->clock.advance(2s);
        QCOMPARE(signedOut.size(), 1);
    }

    // A paused recording is left paused: its owner was captured at its start.
    void aPausedRecordingIsLeftAlone()
    {
        launchSignedIn();
        f->recording.setState(AudioRecordingState::Paused);
        QSignalSpy signedOut(f->delegate.get(), &AppDelegate::signedOut);
        f->delegate->logOut();
        f->clock.advance(500ms);
        QVERIFY(waitUntil([&] { return signedOut.size() == 1; }));
        QCOMPARE(f->recording.stopCount, 0);
        QCOMPARE(f->recording.state(), AudioRecordingState::Paused);
    }

    // Tokens a sign-out could not delete are deleted at the next launch instead of being loaded.
    void tokensLeftWithoutAUserAreDeletedAtLaunch()
    {
        f->storeSignedInUser();
        f->settings.setText(settings::kUsername, QString());
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        QCOMPARE(f->api->accessTokenState(), brelta::backend::ApiClient::TokenState::Absent);
        QVERIFY(waitUntil([&] { return storedToken(brelta::backend::KeychainKey::AccessToken) == Status::Absent; }));
        QCOMPARE(storedToken(brelta::backend::KeychainKey::RefreshToken), Status::Absent);
    }

    void didSignInReopensTheMainPopover()
    {
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->delegate->showMainPopover();
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Main)->size(), QSize(355, 515));
        f->trace.clear();
        f->delegate->didSignIn(QStringLiteral("id-7"), QStringLiteral("seven@brelta.test"));
        QVERIFY(!f->shown(PopoverKind::Main));
        f->clock.advance(299ms);
        QCOMPARE(f->settings.text(settings::kUsername).value_or(QString()), QString());
        f->clock.advance(1ms);
        QCOMPARE(f->settings.text(settings::kUsername), QStringLiteral("seven@brelta.test"));
        QCOMPARE(f->settings.text(settings::kUserId), QStringLiteral("id-7"));
        const QStringList setUser{QStringLiteral("messages.startMessagesPolling 900"),
                                  QStringLiteral("messages.scheduleCoachingTips"),
                                  QStringLiteral("calendar.scheduleIntegrationReminder")};
        QCOMPARE(f->trace, setUser);
        QCOMPARE(f->recording.usernames.last(), QStringLiteral("seven@brelta.test"));
        QCOMPARE(f->delegate->analyticsClient()->userId(), QStringLiteral("id-7"));
        QVERIFY(!f->shown(PopoverKind::Main));
        f->clock.advance(200ms);
        QVERIFY(f->shown(PopoverKind::Main));
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Main)->size(), QSize(355, 180));
    }
};

BRELTA_SHELL_TEST_MAIN(SignOutTest, StatusNotifierItem)
#include "tst_signout.moc"
