// The notification popover: the queued messages one at a time, "Next" and "Close all", the auto-close on
// the test clock, the links it opens, and the interaction reports reaching the local backend.

#include "MessagesShellFixture.h"

#include "messages/MessageCards.h"

#include <QAbstractButton>

using namespace std::chrono_literals;
using brelta::shell::NotificationRoot;
using brelta::shell::PopoverKind;
using brelta::testsupport::shell::MessagesShellFixture;
using brelta::testsupport::shell::saveScreenshot;
namespace message = brelta::testsupport::shell::message;

class NotificationPopoverTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessagesShellFixture> f;

    void launchSignedIn()
    {
        f->storeSignedInUser();
        f->makeMessagesDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->server.clearReceived();
    }

    QAbstractButton *control(const char *name) const
    {
        return f->root()->findChild<QAbstractButton *>(QString::fromLatin1(name));
    }

    QString head() const
    {
        const auto &queue = f->store().currentMessages();
        return queue.isEmpty() ? QString() : queue.first().messageId;
    }

private slots:
    void init()
    {
        f = std::make_unique<MessagesShellFixture>();
        launchSignedIn();
    }
    void cleanup() { f.reset(); }

    void oneMessageShowsWithTheCloseIcon()
    {
        QVERIFY(f->manager().showMessage(message::simpleText(QStringLiteral("m1"))));
        QVERIFY(f->popoverShown());
        QVERIFY(qobject_cast<brelta::messages::SimpleTextCard *>(f->root()->card()));
        QVERIFY(control("close"));
        QVERIFY(!control("next"));
        QVERIFY(!control("closeAll"));
        QTRY_COMPARE(f->reports(), 1);
        QCOMPARE(f->root()->autoCloseInterval(), std::optional<std::chrono::milliseconds>(15s));

        control("close")->click();
        QVERIFY(!f->popoverShown());
        // The message goes half a second after the close.
        QCOMPARE(f->store().currentIds(), QStringList{QStringLiteral("m1")});
        f->clock.advance(500ms);
        QVERIFY(f->store().currentIds().isEmpty());
        QVERIFY(!f->root()->card());
    }

    void nextShowsTheQueueOneAtATime()
    {
        for (const char *id : {"a", "b", "c"})
            f->manager().showMessage(message::simpleText(QString::fromLatin1(id)));
        QCOMPARE(head(), QStringLiteral("c"));
        QVERIFY(control("next"));
        QCOMPARE(control("closeAll")->accessibleName(), QStringLiteral("Close all 3"));
        // The first on show, then each new head.
        QTRY_COMPARE(f->reports(), 3);

        f->clock.advance(10s);
        control("next")->click();
        QVERIFY(f->popoverShown());
        QCOMPARE(head(), QStringLiteral("b"));
        QCOMPARE(control("closeAll")->accessibleName(), QStringLiteral("Close all 2"));
        QTRY_COMPARE(f->reports(), 4);
        // The head change restarted the timer: 10 s more is 20 s since the first show.
        f->clock.advance(10s);
        QVERIFY(f->popoverShown());

        control("next")->click();
        QCOMPARE(head(), QStringLiteral("a"));
        QVERIFY(control("close"));
        QVERIFY(!control("next"));
        QTRY_COMPARE(f->reports(), 5);
    }

    void closeAllReportsEveryMessageAndEmptiesTheQueueLater()
    {
        for (const char *id : {"a", "b", "c"})
            f->manager().showMessage(message::simpleText(QString::fromLatin1(id)));
        QTRY_COMPARE(f->reports(), 3);

        control("closeAll")->click();
        QVERIFY(!f->popoverShown());
        QTRY_COMPARE(f->reports(), 6);
        QCOMPARE(f->store().currentIds().size(), 3);
        f->clock.advance(499ms);
        QCOMPARE(f->store().currentIds().size(), 3);
        f->clock.advance(1ms);
        QVERIFY(f->store().currentIds().isEmpty());
    }

    void autoCloses_data()
    {
        QTest::addColumn<bool>("meetingStart");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("a text closes after 15 s") << false << qint64(15);
        QTest::newRow("a meeting about to start stays 30 min") << true << qint64(1800);
    }

    void autoCloses()
    {
        QFETCH(bool, meetingStart);
        QFETCH(qint64, seconds);
        const auto m =
            meetingStart ? message::meetingStart(QStringLiteral("m")) : message::simpleText(QStringLiteral("m"));
        f->manager().showMessage(m);
        QCOMPARE(f->root()->autoCloseInterval(),
                 std::optional<std::chrono::milliseconds>(std::chrono::seconds(seconds)));

        f->clock.advance(std::chrono::seconds(seconds) - 1ms);
        QVERIFY(f->popoverShown());
        f->clock.advance(1ms);
        QVERIFY(!f->popoverShown());
        f->clock.advance(500ms);
        QVERIFY(f->store().currentIds().isEmpty());
    }

    void aMessageInFrontOfAMeetingStartRestartsWithFifteenSeconds()
    {
        f->manager().showMessage(message::meetingStart(QStringLiteral("start")));
        f->clock.advance(60s);
        f->manager().showMessage(message::simpleText(QStringLiteral("tip")));
        QCOMPARE(f->root()->autoCloseInterval(), std::optional<std::chrono::milliseconds>(15s));
        f->clock.advance(15s);
        QVERIFY(!f->popoverShown());
    }

    void eachShowRestartsTheTimer()
    {
        f->manager().showMessage(message::simpleText(QStringLiteral("m")));
        f->clock.advance(10s);
        // The tray icon's click closes the popover without touching the queue.
        f->delegate->closePopover(PopoverKind::Notification);
        f->delegate->showPopover(PopoverKind::Notification);
        QTRY_COMPARE(f->reports(), 2);
        f->clock.advance(10s);
        QVERIFY(f->popoverShown());
        f->clock.advance(5s);
        QVERIFY(!f->popoverShown());
    }

    void aMessageArrivingWhileAClosePendsStays_data()
    {
        QTest::addColumn<bool>("closeButton");
        QTest::newRow("the close icon") << true;
        QTest::newRow("the shell's close") << false;
    }

    void aMessageArrivingWhileAClosePendsStays()
    {
        QFETCH(bool, closeButton);
        f->manager().showMessage(message::simpleText(QStringLiteral("first")));
        if (closeButton)
            control("close")->click();
        else
            f->delegate->closeNotificationPopover();
        QVERIFY(!f->popoverShown());
        f->clock.advance(300ms);
        f->manager().showMessage(message::simpleText(QStringLiteral("second")));
        QVERIFY(f->popoverShown());
        f->clock.advance(200ms);
        QCOMPARE(f->store().currentIds(), QStringList{QStringLiteral("second")});
        QVERIFY(f->popoverShown());
        QVERIFY(f->root()->card());
    }

    void onlyWebLinksOpen_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << "https://app.example.com/coach/sessions/42" << true;
        QTest::newRow("http") << "http://127.0.0.1:8787/coach/sessions/42" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("no scheme") << "app.example.com/coach" << false;
    }

    void onlyWebLinksOpen()
    {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        f->manager().showMessage(message::meetingReport(QStringLiteral("report"), link));
        auto *seeMore = f->root()->findChild<QAbstractButton *>(QStringLiteral("seeMore"));
        QCOMPARE(seeMore != nullptr, opens);

        // Even asked directly, the popover hands the browser nothing but a web page.
        f->root()->openDashboardUrl(QUrl(link));
        QCOMPARE(f->opened, opens ? QList<QUrl>{QUrl(link)} : QList<QUrl>{});
        QCOMPARE(f->popoverShown(), !opens);
        f->clock.advance(500ms);
        QCOMPARE(f->store().currentIds().isEmpty(), opens);
    }

    void screenshots()
    {
        f->manager().showMessage(message::simpleText(QStringLiteral("older"), QStringLiteral("Coaching tip")));
        f->manager().showMessage(message::meetingReport(QStringLiteral("report"), QStringLiteral("https://x.io/r")));
        QWidget *popover = f->popover();
        QVERIFY(QTest::qWaitForWindowExposed(popover));
        QCOMPARE(f->root()->width(), 384);
        QVERIFY(popover->height() > 100);
        QTest::qWait(100);
        QVERIFY(saveScreenshot(popover, QStringLiteral("notification-report-two-queued")));
        control("next")->click();
        QTest::qWait(100);
        QVERIFY(saveScreenshot(popover, QStringLiteral("notification-text")));
    }
};

BRELTA_SHELL_TEST_MAIN(NotificationPopoverTest, None)
#include "tst_notificationpopover.moc"
