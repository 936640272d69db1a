// The in-app messages joined to the application: a signed-in launch polls the local backend and shows
// what it finds, the notifications panel lists it, sign-out empties everything and waking re-arms the
// message timers.

#include "MessagesShellFixture.h"

#include "messages/NotificationsPanel.h"
#include "shell/MainView.h"
#include "shell/popovers/MainRoot.h"

using namespace std::chrono_literals;
using brelta::shell::PopoverKind;
using brelta::testsupport::shell::MessagesShellFixture;
using brelta::testsupport::shell::waitUntil;
namespace settings = brelta::platform::settings;

class MessagesWiringTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessagesShellFixture> f;

    void queueForTheUser(const nlohmann::json &message)
    {
        const QString refused = f->server.queueMessage(message, f->server.seededUser().email);
        QVERIFY2(refused.isEmpty(), qPrintable(refused));
    }

    static nlohmann::json text(const std::string &id)
    {
        return {{"messageId", id},
                {"content", {{"simpleText", {{"title", "Welcome"}, {"body", "Your first tip is on its way."}}}}},
                {"schedule", {{"asap", nlohmann::json::object()}}}};
    }

    void launchSignedIn()
    {
        f->storeSignedInUser();
        f->makeMessagesDelegate();
        QVERIFY(f->launchAndWaitForServices());
    }

private slots:
    void init() { f = std::make_unique<MessagesShellFixture>(); }
    void cleanup() { f.reset(); }

    void aSignedInLaunchPollsAndShowsTheMessage()
    {
        queueForTheUser(text("welcome"));
        launchSignedIn();
        QVERIFY(!f->popoverShown());

        f->clock.advance(900s);
        QVERIFY(waitUntil([this] { return f->popoverShown(); }));
        QCOMPARE(f->store().currentIds(), QStringList{QStringLiteral("welcome")});
        QCOMPARE(f->manager().processedMessageIds(), QStringList{QStringLiteral("welcome")});
        QVERIFY(f->root()->card());
        QVERIFY(!f->server.receivedRequests(brelta::devserver::MessagingService::listPath).isEmpty());

        // The notifications panel of the main popover lists it.
        auto *mainRoot =
            qobject_cast<brelta::shell::MainRoot *>(f->delegate->popovers()->window(PopoverKind::Main)->root());
        QVERIFY(mainRoot);
        auto *mainView = qobject_cast<brelta::shell::MainView *>(mainRoot->mainView());
        QVERIFY(mainView);
        auto *panel = mainView->panel(brelta::shell::MainViewMode::Notifications)
                          ->findChild<brelta::messages::NotificationsPanelContent *>();
        QVERIFY(panel);
        QVERIFY(!panel->isShowingEmptyState());
    }

    void signOutEmptiesTheMessagesAndTheirHistory()
    {
        queueForTheUser(text("welcome"));
        launchSignedIn();
        f->clock.advance(900s);
        QVERIFY(waitUntil([this] { return f->popoverShown(); }));
        QCOMPARE(f->store().history().size(), std::size_t(1));

        f->delegate->logOut();
        f->clock.advance(500ms);
        QVERIFY(waitUntil([this] { return !f->delegate->isSigningOut(); }));
        QVERIFY(f->store().currentIds().isEmpty());
        QVERIFY(f->store().history().empty());
        QVERIFY(f->manager().processedMessageIds().isEmpty());
        QVERIFY(!f->popoverShown());
        QVERIFY(!f->manager().pollInterval().has_value());
    }

    void wakingShowsAMessageWhoseTimeCameInSleep()
    {
        launchSignedIn();
        const QString earliest =
            f->clock.now().addSecs(900 + 2 * 3600).toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
        queueForTheUser({{"messageId", "later"},
                         {"content", {{"simpleText", {{"title", "Later"}, {"body", "Time for a review."}}}}},
                         {"schedule", {{"localInterval", {{"earliestLocalIso", earliest.toStdString()}}}}}});
        f->clock.advance(900s);
        QVERIFY(waitUntil([this] { return f->manager().hasScheduledMessage(QStringLiteral("later")); }));

        // Asleep for three hours: the wall clock jumps while the monotonic one stood still.
        f->clock.setWallClock(f->clock.now().addSecs(3 * 3600));
        QVERIFY(!f->popoverShown());
        emit f->sleepWake.woke();
        f->clock.advance(1ms);
        QVERIFY(waitUntil([this] { return f->popoverShown(); }));
        QCOMPARE(f->store().currentIds(), QStringList{QStringLiteral("later")});
    }
};

BRELTA_SHELL_TEST_MAIN(MessagesWiringTest, None)
#include "tst_messageswiring.moc"
