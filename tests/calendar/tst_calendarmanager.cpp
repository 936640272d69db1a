// The calendar manager over real parts: the fake Google and the backend's tips in the local backend, the
// private Secret Service, a hand-driven clock in UTC. The message engine is the one stand-in: a recorder
// of the nudges handed to it, as the shell wires the engine in.
#include "CalendarStack.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/backend/CollectorTelemetry.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta;
using namespace brelta::calendar;
using brelta::devserver::GoogleService;
using brelta::testsupport::awaitTask;
using Json = nlohmann::ordered_json;

namespace {

const QString kTipsPath = QStringLiteral("/quombler/v2/GenerateCoachingTips");

class RecordingNudges final : public NudgeScheduler
{
public:
    void processMessage(const backend::ApiMessages::Message &message) override { handed.append(message); }
    void cancelScheduledMessage(const QString &id) override { cancelled.append(id); }

    int handedCount(const QString &id) const
    {
        return int(std::count_if(handed.begin(), handed.end(), [&](const auto &m) { return m.messageId == id; }));
    }

    QList<backend::ApiMessages::Message> handed;
    QStringList cancelled;
};

} // namespace

class TestCalendarManager : public QObject
{
    Q_OBJECT

private:
    // Before the stack: its manager hands nudges here until it goes.
    RecordingNudges m_nudges;
    std::unique_ptr<testsupport::calendar::CalendarStack> m_stack;

    devserver::DevServer &server() { return m_stack->server(); }

    static devserver::CannedResponse tipAnswer()
    {
        devserver::CannedResponse answer;
        answer.body = QByteArrayLiteral(R"({"generatedCoachingTips":[{"tipText":"Breathe."}]})");
        return answer;
    }
    Json event(const QString &id, qint64 startIn, qint64 length) const
    {
        return m_stack->event(id, startIn, length, "https://meet.example.com/" + id.toStdString());
    }

    void makeManager(const QString &clientId = GoogleService::devClientId)
    {
        m_stack->makeManager(&m_nudges, clientId);
    }

    // Connects and waits for the first sync to hand over its nudges.
    void connectAndSync(int nudges)
    {
        QSignalSpy synced(m_stack->manager.get(), &CalendarManager::eventsSynced);
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 1, 20000);
        QVERIFY(m_stack->manager->isSynced());
        QCOMPARE(m_nudges.handed.size(), nudges);
    }

private slots:
    void init()
    {
        m_stack =
            std::make_unique<testsupport::calendar::CalendarStack>(QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC));
        m_nudges = RecordingNudges();
        makeManager();
    }

    void cleanup() { m_stack.reset(); }

    void nudgeOfAMeetingInTwoHours()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        connectAndSync(1);
        const backend::ApiMessages::Message &nudge = m_nudges.handed.first();
        QCOMPARE(nudge.messageId, QStringLiteral("event;m1;start"));
        QVERIFY(!nudge.slot);
        QVERIFY(nudge.content.eventStartReminder);
        QCOMPARE(nudge.content.eventStartReminder->title, QStringLiteral("Meeting m1"));
        QCOMPARE(nudge.content.eventStartReminder->body, QStringLiteral("Click record to let Brelta listen."));
        QVERIFY(!nudge.content.eventStartReminder->tip.isEmpty());
        QCOMPARE(nudge.content.eventStartReminder->googleMeetUrl, QStringLiteral("https://meet.example.com/m1"));
        QVERIFY(nudge.schedule.localInterval);
        QCOMPARE(nudge.schedule.localInterval->earliestLocalIso, QStringLiteral("2024-03-05T11:59:30"));
        QCOMPARE(nudge.schedule.localInterval->latestLocalIso, QStringLiteral("2024-03-05T12:10:00"));
        QCOMPARE(m_stack->manager->scheduledEventReminderIds(), QStringList{QStringLiteral("event;m1;start")});
        QCOMPARE(CalendarManager::eventId(QStringLiteral("event;abc;start")), QStringLiteral("abc"));
        QCOMPARE(CalendarManager::eventId(QStringLiteral("event;abc")), QString());
    }

    void eligibility_data()
    {
        QTest::addColumn<qint64>("startIn");
        QTest::addColumn<bool>("onlyUpcoming");
        QTest::addColumn<bool>("nudged");
        QTest::newRow("ended, hourly") << qint64(-3600) << false << false;
        QTest::newRow("under way, hourly") << qint64(-300) << false << true;
        QTest::newRow("under way, panel refresh") << qint64(-300) << true << false;
        QTest::newRow("coming, panel refresh") << qint64(600) << true << true;
    }

    void eligibility()
    {
        QFETCH(qint64, startIn);
        QFETCH(bool, onlyUpcoming);
        QFETCH(bool, nudged);
        // An ended meeting is still listed by Google when it ends within the window: make it end 1 s ago.
        const qint64 length = startIn == -3600 ? 3599 : 1800;
        server().google().setEvents({event(QStringLiteral("m1"), startIn, length)});
        QVERIFY(awaitTask(m_stack->auth->signIn(), std::chrono::seconds(20)).succeeded());
        m_stack->clock.advance(std::chrono::milliseconds(1));
        const auto synced = awaitTask(m_stack->manager->sync(onlyUpcoming), std::chrono::seconds(20));
        QVERIFY2(synced.succeeded(), qPrintable(synced.errorText()));
        QCOMPARE(synced.value->size(), startIn == -3600 ? 0 : 1);
        QCOMPARE(m_nudges.handed.size(), nudged ? 1 : 0);
    }

    void tipFailureLeavesOutOneNudge()
    {
        server().google().setEvents({event(QStringLiteral("a"), 3600, 600), event(QStringLiteral("b"), 7200, 600),
                                     event(QStringLiteral("c"), 9000, 600)});
        QTemporaryDir storage;
        testsupport::CollectorTelemetry telemetry(server(), &m_stack->clock, storage.path());
        m_stack->manager->setReporting(&telemetry.analytics, telemetry.errorTracker.get());
        server().failNext(kTipsPath, 400);
        connectAndSync(2);
        QCOMPARE(m_stack->manager->scheduledEventReminderIds(),
                 (QStringList{QStringLiteral("event;b;start"), QStringLiteral("event;c;start")}));

        // The left-out nudge is reported; the sync and the two scheduled nudges are counted, without titles.
        QTRY_COMPARE_WITH_TIMEOUT(server().collector().errorEvents().size(), 1, 10000);
        const auto sent = [&](const std::string &name) {
            QStringList found;
            for (const nlohmann::json &message : server().collector().batchMessages()) {
                if (message.value("event", std::string()) == name)
                    found << QString::fromStdString(message.at("properties").value("event_start_time", std::string())
                                                    + message.at("properties").value("event_name", std::string()));
            }
            return found;
        };
        QTRY_COMPARE_WITH_TIMEOUT(sent("Schedule Pre-Meeting Nudge"),
                                  (QStringList{QStringLiteral("2024-03-05T11:59:30<unknown>"),
                                               QStringLiteral("2024-03-05T12:29:30<unknown>")}),
                                  10000);
        QCOMPARE(sent("Sync Google Calendar Events").size(), 1);
        m_stack->manager->setReporting(nullptr, nullptr);
    }

    void toggleOffOnOn()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        connectAndSync(1);
        const CalendarEvent meeting = (*awaitTask(m_stack->manager->fetchEvents()).value).first();
        QVERIFY(m_stack->manager->hasNudge(meeting));
        QVERIFY(!m_stack->manager->toggleReminder(meeting));
        QVERIFY(m_nudges.cancelled.contains(QStringLiteral("event;m1;start")));
        QVERIFY(!m_stack->manager->hasNudge(meeting));
        // Kept out of later syncs.
        QVERIFY(awaitTask(m_stack->manager->sync(false), std::chrono::seconds(20)).succeeded());
        QCOMPARE(m_nudges.handed.size(), 1);

        // On, off, on before the tips arrive: one nudge, from the last toggle.
        server().setHang(kTipsPath, true);
        QVERIFY(m_stack->manager->toggleReminder(meeting));
        QVERIFY(!m_stack->manager->toggleReminder(meeting));
        QVERIFY(m_stack->manager->toggleReminder(meeting));
        QTRY_COMPARE(server().heldRequestCount(), 2);
        server().setHang(kTipsPath, false);
        server().releaseHeld(tipAnswer());
        QTRY_COMPARE(m_nudges.handed.size(), 2);
        QTest::qWait(200);
        QCOMPARE(m_nudges.handed.size(), 2);
        QCOMPARE(m_stack->manager->scheduledEventReminderIds().size(), 1);
    }

    void noRepeatAcrossSyncsAndWake()
    {
        server().google().setEvents({event(QStringLiteral("soon"), 120, 1800)});
        connectAndSync(1);
        // The nudge's time comes (the engine shows it), then the hourly tick and a wake sync again.
        m_stack->clock.advance(std::chrono::seconds(100));
        QSignalSpy synced(m_stack->manager.get(), &CalendarManager::eventsSynced);
        m_stack->manager->handleWake();
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 1, 20000);
        const auto refresh = awaitTask(m_stack->manager->sync(true), std::chrono::seconds(20));
        QVERIFY(refresh.succeeded());
        QCOMPARE(m_nudges.handedCount(QStringLiteral("event;soon;start")), 1);

        // The hourly sync counts from the wake, and comes once.
        m_nudges.handed.clear();
        server().google().setEvents({event(QStringLiteral("later"), 5400, 600)});
        m_stack->clock.advance(std::chrono::seconds(3599));
        QTest::qWait(100);
        QCOMPARE(synced.size(), 1);
        m_stack->clock.advance(std::chrono::seconds(1));
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 2, 20000);
        QTRY_COMPARE(m_nudges.handedCount(QStringLiteral("event;later;start")), 1);
        QTest::qWait(100);
        QCOMPARE(synced.size(), 2);
    }

    void signOutMidSyncSchedulesNothing()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        server().setHang(kTipsPath, true);
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(server().heldRequestCount() == 1, 20000);
        m_stack->manager->disconnectCalendar();
        QVERIFY(!m_stack->manager->isSynced());
        server().setHang(kTipsPath, false);
        server().releaseHeld(tipAnswer());
        QTest::qWait(300);
        QVERIFY(m_nudges.handed.isEmpty());
        QVERIFY(!m_stack->auth->hasAccount());
    }

    // From the settings panel: the account and its nudges go, the connect reminder's flags stay.
    void userDisconnectKeepsTheReminderFlags()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        connectAndSync(1);
        m_stack->backend.settings.setBool(CalendarManager::kReminderSpedUpKey, true);
        m_stack->manager->disconnectAccount();
        QVERIFY(!m_stack->manager->isSynced());
        QVERIFY(m_stack->manager->scheduledEventReminderIds().isEmpty());
        QVERIFY(m_nudges.cancelled.contains(QStringLiteral("event;m1;start")));
        QTRY_VERIFY(!m_stack->auth->hasAccount());
        QCOMPARE(m_stack->backend.settings.boolValue(CalendarManager::kReminderSpedUpKey), std::optional<bool>(true));
        QSignalSpy due(m_stack->manager.get(), &CalendarManager::integrationReminderDue);
        m_stack->manager->scheduleIntegrationReminder();
        m_stack->clock.advance(std::chrono::seconds(60));
        QTRY_COMPARE(due.size(), 1);
    }

    void overlappingSyncsRunOneAfterTheOther()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        server().setHang(kTipsPath, true);
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(server().heldRequestCount() == 1, 20000);
        auto second = m_stack->manager->sync(true);
        QTest::qWait(200);
        QCOMPARE(server().heldRequestCount(), 1); // the second waits for the first
        server().setHang(kTipsPath, false);
        server().releaseHeld(tipAnswer());
        const auto done = awaitTask(std::move(second), std::chrono::seconds(20));
        QVERIFY(done.succeeded());
        QCOMPARE(m_stack->manager->scheduledEventReminderIds(), QStringList{QStringLiteral("event;m1;start")});
    }

    void revokedGrantDisconnects()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 7200, 1800)});
        connectAndSync(1);
        QSignalSpy lost(m_stack->manager.get(), &CalendarManager::calendarLost);
        server().google().revokeGrants();
        m_stack->clock.advance(std::chrono::seconds(3600));
        QTRY_VERIFY_WITH_TIMEOUT(lost.size() == 1, 20000);
        QVERIFY(!m_stack->manager->isSynced());
        QVERIFY(m_stack->manager->scheduledEventReminderIds().isEmpty());
        QVERIFY(m_nudges.cancelled.contains(QStringLiteral("event;m1;start")));
    }

    void integrationReminder_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<qint64>("firstAfter"); // 0: never
        QTest::newRow("unconnected") << "none" << qint64(259200);
        QTest::newRow("sped up") << "spedUp" << qint64(60);
        QTest::newRow("declined") << "declined" << qint64(0);
        QTest::newRow("connected") << "connected" << qint64(0);
        QTest::newRow("no client") << "noClient" << qint64(0);
    }

    void integrationReminder()
    {
        QFETCH(QString, state);
        QFETCH(qint64, firstAfter);
        m_stack->backend.settings.setBool(CalendarManager::kReminderSpedUpKey, state == QLatin1String("spedUp"));
        m_stack->backend.settings.setBool(CalendarManager::kReminderCanceledKey, state == QLatin1String("declined"));
        if (state == QLatin1String("noClient"))
            makeManager(QString());
        if (state == QLatin1String("connected"))
            connectAndSync(0);
        QSignalSpy due(m_stack->manager.get(), &CalendarManager::integrationReminderDue);
        m_stack->manager->scheduleIntegrationReminder();
        QCOMPARE(m_stack->manager->isIntegrationReminderArmed(), firstAfter > 0);
        if (firstAfter == 0) {
            m_stack->clock.advance(std::chrono::seconds(259200));
            QTest::qWait(50);
            QCOMPARE(due.size(), 0);
            return;
        }
        m_stack->clock.advance(std::chrono::seconds(firstAfter - 1));
        QTest::qWait(50);
        QCOMPARE(due.size(), 0);
        m_stack->clock.advance(std::chrono::seconds(1));
        QTRY_COMPARE(due.size(), 1);
        m_stack->clock.advance(std::chrono::seconds(firstAfter));
        QTRY_COMPARE(due.size(), 2);
        m_stack->manager->declineIntegrationReminder();
        QVERIFY(!m_stack->manager->isIntegrationReminderArmed());
        m_stack->manager->disconnectCalendar();
        QCOMPARE(m_stack->backend.settings.boolValue(CalendarManager::kReminderCanceledKey),
                 std::optional<bool>(false));
    }
};

QTEST_GUILESS_MAIN(TestCalendarManager)
#include "tst_calendarmanager.moc"
