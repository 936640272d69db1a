#include "MessagesFixture.h"
#include "messages/CoachingTips.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using namespace brelta::testsupport::messages;
using brelta::devserver::CannedResponse;
using brelta::devserver::MessagingService;
using brelta::messages::NotificationManager;
using brelta::recording::AudioRecordingState;
using Json = nlohmann::json;

Q_DECLARE_METATYPE(nlohmann::json)

namespace {

const QString kScheduleEvent = QStringLiteral("Schedule Notification Message");
const QString kTipsPath = QStringLiteral("/quombler/v2/GenerateCoachingTips");

QByteArray messageBody(const Json &message)
{
    return QByteArray::fromStdString(Json{{"userMessage", message}}.dump());
}

} // namespace

class NotificationManagerTest : public QObject
{
    Q_OBJECT

private slots:
    // Routing of one message by its schedule, from the clock's now (Tuesday 10:00 UTC).
    void routesByTheSchedule_data()
    {
        QTest::addColumn<Json>("schedule");
        QTest::addColumn<Json>("content");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("scheduled");
        QTest::addColumn<int>("scheduleEvents");

        const Json text{{"simpleText", {{"title", "Hello"}, {"body", "World"}}}};
        const Json end{{"eventEndReminder", Json::object()}};
        const auto at = [](qint64 seconds) {
            return QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC)
                .addSecs(seconds)
                .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
                .toStdString();
        };
        const auto window = [](const std::string &earliest, std::optional<std::string> latest = {}) {
            Json interval{{"earliestLocalIso", earliest}};
            if (latest)
                interval["latestLocalIso"] = *latest;
            return Json{{"localInterval", interval}};
        };
        QTest::newRow("asap") << Json{{"asap", Json::object()}} << text << false << true << false << 0;
        QTest::newRow("earliest = now") << window(at(0)) << text << false << true << false << 0;
        QTest::newRow("latest = now") << window(at(-3600), at(0)) << text << false << true << false << 0;
        QTest::newRow("latest + 1 s") << window(at(-3600), at(-1)) << text << false << false << false << 0;
        QTest::newRow("earliest in an hour") << window(at(3600)) << text << false << false << true << 1;
        QTest::newRow("both schedules") << Json{{"asap", Json::object()},
                                                {"localInterval", window(at(3600))["localInterval"]}}
                                        << text << false << true << false << 0;
        QTest::newRow("neither") << Json::object() << text << false << false << false << 0;
        QTest::newRow("unparsable earliest") << window("tomorrow") << text << false << false << false << 0;
        QTest::newRow("unparsable latest") << window(at(-60), "soon") << text << false << true << false << 0;
        QTest::newRow("earliest yesterday") << window(at(-86400)) << text << false << true << false << 0;
        QTest::newRow("meeting end, stopped") << Json{{"asap", Json::object()}} << end << false << false << false << 0;
        QTest::newRow("meeting end, recording") << Json{{"asap", Json::object()}} << end << true << true << false << 0;
    }

    void routesByTheSchedule()
    {
        QFETCH(Json, schedule);
        QFETCH(Json, content);
        QFETCH(bool, recording);
        QFETCH(bool, shown);
        QFETCH(bool, scheduled);
        QFETCH(int, scheduleEvents);
        MessagesFixture f;
        if (recording)
            f.recording.setState(AudioRecordingState::Recording);
        f.queue({{"messageId", "m"}, {"content", content}, {"schedule", schedule}});

        QVERIFY(f.poll());
        QCOMPARE(f.store.currentIds(), shown ? QStringList{"m"} : QStringList{});
        QCOMPARE(f.shell.popoverShown, shown);
        QCOMPARE(f.manager->processedMessageIds(), shown ? QStringList{"m"} : QStringList{});
        QCOMPARE(f.manager->hasScheduledMessage(QStringLiteral("m")), scheduled);
        QCOMPARE(f.eventNames().count(kScheduleEvent), scheduleEvents);

        // A shown message is not offered again; one that was not shown is fetched again at the next poll.
        f.server().clearReceived();
        QVERIFY(f.poll());
        QCOMPARE(f.server().receivedRequests(MessagingService::getPath).size(), shown ? 0 : 1);
        QCOMPARE(f.store.currentIds().size(), shown ? 1 : 0);
    }

    // Two messages in one slot over three polls: the one listed last holds it, scheduled once.
    void slotKeepsTheLastListedMessage()
    {
        MessagesFixture f;
        for (const char *id : {"a", "b"}) {
            f.queue({{"messageId", id},
                     {"slot", "daily"},
                     {"content", {{"simpleText", {{"title", "T"}, {"body", "B"}}}}},
                     {"schedule", {{"localInterval", {{"earliestLocalIso", f.local(3600).toStdString()}}}}}});
        }
        for (int i = 0; i < 3; ++i)
            QVERIFY(f.poll());
        QVERIFY(f.manager->hasScheduledMessage(QStringLiteral("b")));
        QVERIFY(!f.manager->hasScheduledMessage(QStringLiteral("a")));
        QCOMPARE(f.eventNames().count(kScheduleEvent), 1);

        f.clock.advance(1h);
        QCOMPARE(f.store.currentIds(), (QStringList{"b"}));
        QVERIFY(f.eventNames().contains(QStringLiteral("Show Scheduled Notification Message")));
    }

    void calendarCancelsItsScheduledMessage()
    {
        MessagesFixture f;
        Json nudge = simpleText("event;42;start");
        nudge["schedule"] = {{"localInterval", {{"earliestLocalIso", f.local(600).toStdString()}}}};
        f.manager->processMessage(brelta::platform::decodeJson<brelta::backend::ApiMessages::Message>(nudge));
        QVERIFY(f.manager->hasScheduledMessage(QStringLiteral("event;42;start")));
        f.manager->cancelScheduledMessage(QStringLiteral("event;42;start"));
        QVERIFY(!f.manager->hasScheduledMessage(QStringLiteral("event;42;start")));
        f.clock.advance(1h);
        QVERIFY(f.store.currentIds().isEmpty());
    }

    // A tick during a poll is dropped, so a message is never routed by two polls at once.
    void overlappingTicksShowAMessageOnce()
    {
        MessagesFixture f;
        Json message = simpleText("m");
        message["schedule"] = {{"asap", Json::object()}};
        f.queue(message);
        f.server().setHang(MessagingService::getPath, true);
        f.manager->startMessagesPolling(30s);
        f.clock.advance(30s);
        QTRY_COMPARE(f.server().heldRequestCount(), 1);
        f.clock.advance(30s);
        QTest::qWait(200);
        QCOMPARE(f.server().receivedRequests(MessagingService::listPath).size(), 1);

        f.server().setHang(MessagingService::getPath, false);
        f.server().releaseHeld({200, "application/json", messageBody(message)});
        QTRY_VERIFY(!f.manager->isPolling());
        QCOMPARE(f.store.currentIds(), (QStringList{"m"}));
        f.clock.advance(30s);
        QTRY_COMPARE(f.server().receivedRequests(MessagingService::listPath).size(), 2);
        QTRY_VERIFY(!f.manager->isPolling());
        QCOMPARE(f.store.currentIds(), (QStringList{"m"}));
        QCOMPARE(f.manager->processedMessageIds(), (QStringList{"m"}));
    }

    // Work that began before a sign-out leaves nothing behind for the next user.
    void signOutAbandonsAPollUnderWay()
    {
        MessagesFixture f;
        Json message = simpleText("m");
        message["schedule"] = {{"asap", Json::object()}};
        f.queue(message);
        f.server().setHang(MessagingService::getPath, true);
        f.manager->fetchMessages();
        QTRY_COMPARE(f.server().heldRequestCount(), 1);
        f.manager->signOut();
        f.server().releaseHeld({200, "application/json", messageBody(message)});
        QTest::qWait(300);
        QVERIFY(f.store.currentIds().isEmpty());
        QVERIFY(f.store.history().empty());
        QVERIFY(f.manager->processedMessageIds().isEmpty());
        QVERIFY(!f.shell.popoverShown);
        // The next session polls at once, not blocked by the abandoned poll.
        f.server().setHang(MessagingService::getPath, false);
        QVERIFY(f.poll());
        QCOMPARE(f.store.currentIds(), (QStringList{"m"}));
    }

    void signOutAbandonsATipRequest()
    {
        MessagesFixture f;
        f.server().setHang(kTipsPath, true);
        f.manager->triggerCoachingTip();
        QTRY_COMPARE(f.server().heldRequestCount(), 1);
        f.manager->signOut();
        f.server().releaseHeld({200, "application/json", R"({"generatedCoachingTips":[{"tipText":"Slow down"}]})"});
        QTest::qWait(300);
        QVERIFY(f.store.currentIds().isEmpty());
        QVERIFY(f.manager->processedMessageIds().isEmpty());
    }

    // The machine sleeps through two scheduled times: the one whose window closed is dropped, the other
    // shows once on wake.
    void wakeDropsWhatClosedInSleepAndShowsTheRestOnce()
    {
        MessagesFixture f;
        Json closing = simpleText("closing");
        closing["schedule"] = {
            {"localInterval",
             {{"earliestLocalIso", f.local(7200).toStdString()}, {"latestLocalIso", f.local(7800).toStdString()}}}};
        Json open = simpleText("open");
        open["schedule"] = {{"localInterval", {{"earliestLocalIso", f.local(7200).toStdString()}}}};
        f.queue(closing);
        f.queue(open);
        QVERIFY(f.poll());
        QVERIFY(f.manager->hasScheduledMessage(QStringLiteral("closing")));
        QVERIFY(f.manager->hasScheduledMessage(QStringLiteral("open")));

        f.clock.advance(30min);
        f.clock.setWallClock(QDateTime(QDate(2024, 3, 5), QTime(13, 0), Qt::UTC));
        f.manager->handleWake();
        f.clock.advance(0ms);
        QCOMPARE(f.store.currentIds(), (QStringList{"open"}));
        QVERIFY(!f.manager->hasScheduledMessage(QStringLiteral("closing")));
        QCOMPARE(f.manager->pollInterval(), std::optional(900s));
        f.manager->handleWake();
        f.clock.advance(2h);
        QCOMPARE(f.store.currentIds().count(QStringLiteral("open")), 1);
    }

    void meetingReportRestoresTheLongPollInterval()
    {
        MessagesFixture f;
        f.manager->startMessagesPolling(30s);
        Json report{{"messageId", "r"},
                    {"content", {{"meetingReport", {{"messageTitle", "Report"}, {"summary", "Good"}}}}},
                    {"schedule", {{"asap", Json::object()}}}};
        f.queue(report);
        QVERIFY(f.poll());
        QCOMPARE(f.manager->pollInterval(), std::optional(900s));
        QCOMPARE(f.store.history().size(), size_t(1));
    }

    void processedIdsHoldEachIdOnce()
    {
        MessagesFixture f;
        auto nudge = brelta::platform::decodeJson<brelta::backend::ApiMessages::Message>(
            Json{{"messageId", "n"},
                 {"content", {{"eventStartReminder", {{"title", "Standup"}, {"body", "Soon"}, {"tip", "Breathe"}}}}},
                 {"schedule", {{"asap", Json::object()}}}});
        QVERIFY(f.manager->showMessage(nudge));
        QVERIFY(f.manager->showMessage(nudge));
        QCOMPARE(f.manager->processedMessageIds(), (QStringList{"n"}));
        QCOMPARE(f.store.currentIds(), (QStringList{"n", "n"}));
        QVERIFY(f.store.history().empty());
        QCOMPARE(f.eventNames().count(QStringLiteral("Component Shown")), 2);
    }

    // Whether a tip attempt asks the backend, and whether a tip is shown.
    void coachingTipTimes_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("lookahead"); // -1: none, else FakeLookahead::Answer
        QTest::addColumn<bool>("requested");
        QTest::addColumn<bool>("shown");
        const auto tuesday = [](int h, int m, int s) { return QDateTime(QDate(2024, 3, 5), QTime(h, m, s), Qt::UTC); };
        const int none = -1;
        QTest::newRow("Tue 08:59:59") << tuesday(8, 59, 59) << none << false << false;
        QTest::newRow("Tue 09:00:00") << tuesday(9, 0, 0) << none << true << true;
        QTest::newRow("Tue 17:59:59") << tuesday(17, 59, 59) << none << true << true;
        QTest::newRow("Tue 18:00:00") << tuesday(18, 0, 0) << none << false << false;
        QTest::newRow("Sat 12:00") << QDateTime(QDate(2024, 3, 9), QTime(12, 0), Qt::UTC) << none << false << false;
        QTest::newRow("Sun 12:00") << QDateTime(QDate(2024, 3, 10), QTime(12, 0), Qt::UTC) << none << false << false;
        QTest::newRow("calendar busy") << tuesday(12, 0, 0) << int(FakeLookahead::Answer::Busy) << false << false;
        QTest::newRow("calendar free") << tuesday(12, 0, 0) << int(FakeLookahead::Answer::Free) << true << true;
        QTest::newRow("calendar throws") << tuesday(12, 0, 0) << int(FakeLookahead::Answer::Throws) << false << false;
    }

    void coachingTipTimes()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, lookahead);
        QFETCH(bool, requested);
        QFETCH(bool, shown);
        MessagesFixture f;
        FakeLookahead calendar;
        if (lookahead >= 0) {
            calendar.answer = FakeLookahead::Answer(lookahead);
            f.manager->setCalendarLookahead(&calendar);
        }
        f.clock.setWallClock(now);
        QVERIFY(brelta::testsupport::awaitTask(f.manager->triggerCoachingTip()).succeeded());
        QCOMPARE(f.server().receivedRequests(kTipsPath).size(), requested ? 1 : 0);
        QCOMPARE(f.store.currentIds().size(), shown ? 1 : 0);
        if (lookahead >= 0)
            QCOMPARE(calendar.lastWindow, 3600s);
        if (shown) {
            const auto tip = f.store.currentMessages().first();
            QVERIFY(tip.messageId.startsWith(QStringLiteral("coaching-tip-")));
            QCOMPARE(tip.content.simpleText->title, QStringLiteral("Coaching tip"));
            QCOMPARE(f.store.history().size(), size_t(1));
        }
        if (lookahead == int(FakeLookahead::Answer::Throws))
            QTRY_VERIFY(!f.server().collector().errorEvents().isEmpty());
    }

    void tipsComeEveryNinetyMinutesWithTheirOwnIds()
    {
        MessagesFixture f;
        f.manager->scheduleCoachingTips();
        f.clock.advance(5400s - 1ms);
        QTest::qWait(100);
        QVERIFY(f.server().receivedRequests(kTipsPath).isEmpty());
        f.clock.advance(1ms);
        QTRY_COMPARE(f.store.currentIds().size(), 1);
        f.clock.advance(5400s);
        QTRY_COMPARE(f.store.currentIds().size(), 2);
        QVERIFY(f.store.currentIds().at(0) != f.store.currentIds().at(1));
        QCOMPARE(f.store.history().size(), size_t(2));
    }

    void failedTipRequestLeavesNothing()
    {
        MessagesFixture f;
        f.server().setFailure(kTipsPath, 500);
        QVERIFY(brelta::testsupport::awaitTask(f.manager->triggerCoachingTip()).succeeded());
        QVERIFY(f.store.currentIds().isEmpty());
        QVERIFY(f.manager->processedMessageIds().isEmpty());
        QTRY_VERIFY(!f.server().collector().errorEvents().isEmpty());
    }
};

QTEST_GUILESS_MAIN(NotificationManagerTest)
#include "tst_notificationmanager.moc"
