// The meetings panel over real parts: the calendar manager reading the fake Google of the local backend
// (with the backend's coaching tips), the private Secret Service and a hand-driven clock in UTC. The shell
// and the recording session are the stand-ins: they record what the panel asks of them.
#include "CalendarStack.h"
#include "calendar/panel/CalendarWidgetView.h"
#include "calendar/panel/EventView.h"
#include "calendar/panel/MeetingsShell.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/GradientContainer.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/TestOutput.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using namespace brelta;
using namespace brelta::calendar;
using brelta::devserver::GoogleService;
using brelta::recording::AudioRecordingState;
using brelta::testsupport::awaitTask;
using Json = nlohmann::ordered_json;
using State = CalendarWidgetView::State;

Q_DECLARE_METATYPE(brelta::recording::AudioRecordingState)

namespace {

const QString kTipsPath = QStringLiteral("/quombler/v2/GenerateCoachingTips");

using brelta::testsupport::outputFolder;

class NoNudges final : public NudgeScheduler
{
public:
    void processMessage(const backend::ApiMessages::Message &) override {}
    void cancelScheduledMessage(const QString &id) override { cancelled << id; }
    QStringList cancelled;
};

class FakeShell final : public MeetingsShell
{
public:
    void closeMainPopover() override { calls << QStringLiteral("close"); }
    void showRecorderPanel() override { calls << QStringLiteral("recorder panel"); }
    void showRecordingStartedPopover() override { calls << QStringLiteral("recording started"); }
    void showModalAlert(const QString &title, const QString &) override { calls << QStringLiteral("alert ") + title; }
    void openUrl(const QUrl &url) override { calls << QStringLiteral("open ") + url.toString(); }
    QStringList calls;
};

class FakeRecorder final : public MeetingRecorder
{
public:
    AudioRecordingState state() const override { return current; }
    QCoro::Task<> startPracticeRecording() override
    {
        ++starts;
        if (fails)
            throw std::runtime_error("no microphone");
        current = AudioRecordingState::Recording;
        emit stateChanged();
        co_return;
    }
    void setHasDisplayedRecordingPopover(bool shown) override { displayedPopover = shown; }
    void setState(AudioRecordingState state)
    {
        current = state;
        emit stateChanged();
    }

    AudioRecordingState current = AudioRecordingState::Stopped;
    bool fails = false;
    int starts = 0;
    bool displayedPopover = false;
};

} // namespace

class TestMeetingsPanel : public QObject
{
    Q_OBJECT

private:
    // Before the stack: its manager hands nudges here until it goes.
    NoNudges m_nudges;
    std::unique_ptr<testsupport::calendar::CalendarStack> m_stack;
    FakeShell m_shell;
    FakeRecorder m_recorder;
    std::unique_ptr<designsystem::BackgroundGradientContainer> m_window;
    designsystem::WidgetContainerView *m_frame = nullptr;
    CalendarWidgetView *m_panel = nullptr;

    devserver::DevServer &server() { return m_stack->server(); }

    Json event(const QString &id, qint64 startIn, qint64 length, const std::optional<std::string> &link = {}) const
    {
        return m_stack->event(id, startIn, length, link);
    }

    void makePanel()
    {
        m_panel = new CalendarWidgetView(
            CalendarWidgetServices{m_stack->manager.get(), &m_recorder, &m_shell, &m_stack->clock, nullptr, nullptr});
        m_panel->setLocale(QLocale::c());
        m_panel->setTimeZone(QTimeZone::utc());
        m_frame = new designsystem::WidgetContainerView(CalendarWidgetView::title(), m_panel);
        m_panel->setFrame(m_frame);
        m_window = std::make_unique<designsystem::BackgroundGradientContainer>(m_frame);
        m_window->resize(designsystem::WidgetContainerView::panelWidth, designsystem::WidgetContainerView::panelHeight);
        m_frame->resize(m_window->size());
    }

    void show()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Connected before the panel is shown, as after a launch that restored the calendar.
    void connectFirst()
    {
        QSignalSpy synced(m_stack->manager.get(), &CalendarManager::eventsSynced);
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 1, 20000);
    }

    // Shown while connected: placeholders first, then `expected`.
    void showAndLoad(State expected)
    {
        show();
        QCOMPARE(m_panel->state(), State::Loading);
        QCOMPARE(m_panel->findChildren<QWidget *>(QStringLiteral("placeholders")).size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_panel->state(), expected, 20000);
    }

    EventView *onlyRow()
    {
        const QList<EventView *> rows = m_panel->rows();
        return rows.size() == 1 ? rows.first() : nullptr;
    }

private slots:
    void init()
    {
        m_stack =
            std::make_unique<testsupport::calendar::CalendarStack>(QDateTime(QDate(2024, 3, 5), QTime(14, 0), Qt::UTC));
        m_nudges = NoNudges();
        m_stack->makeManager(&m_nudges);
        m_shell = FakeShell();
        m_recorder.current = AudioRecordingState::Stopped;
        m_recorder.fails = false;
        m_recorder.starts = 0;
        m_recorder.displayedPopover = false;
        makePanel();
    }

    void cleanup()
    {
        m_window.reset();
        m_stack.reset();
    }

    void notConnectedOffersConnectAndThenLists()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 3600, 1800)});
        show();
        QCOMPARE(m_panel->state(), State::NotConnected);
        QVERIFY(!m_frame->headerRight());
        auto *connect = m_panel->findChild<designsystem::BrandButton *>(QStringLiteral("connect"));
        QVERIFY(connect);
        QCOMPARE(connect->title(), QStringLiteral("Connect Google Calendar"));

        // The connect's own reading waits for its tip, and the panel's reading waits behind it.
        server().setHang(kTipsPath, true);
        connect->click();
        // No further press: connecting turns the panel to placeholders, then the list.
        QTRY_VERIFY_WITH_TIMEOUT(server().heldRequestCount() == 1, 20000);
        QCOMPARE(m_panel->state(), State::Loading);
        QVERIFY(m_frame->headerRight());
        server().setHang(kTipsPath, false);
        devserver::CannedResponse tip;
        tip.body = QByteArrayLiteral(R"({"generatedCoachingTips":[{"tipText":"Breathe."}]})");
        server().releaseHeld(tip);
        QTRY_COMPARE_WITH_TIMEOUT(m_panel->state(), State::List, 20000);
        QVERIFY(onlyRow());
        QCOMPARE(onlyRow()->event().title, QStringLiteral("Meeting m1"));
    }

    void everyShowingReadsAgain()
    {
        server().google().setEvents({});
        connectFirst();
        showAndLoad(State::Empty);
        QVERIFY(m_panel->findChild<QWidget *>(QStringLiteral("emptyCard")));

        server().google().setEvents({event(QStringLiteral("a"), 3600, 1800), event(QStringLiteral("b"), 7200, 900)});
        m_window->hide();
        showAndLoad(State::List);
        QCOMPARE(m_panel->rows().size(), 2);
        QCOMPARE(m_panel->rows().at(1)->event().id, QStringLiteral("b"));
    }

    void failedReadOffersTryAgain()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 3600, 1800)});
        connectFirst();
        server().setFailure(GoogleService::eventsPath, 403);
        showAndLoad(State::Failed);
        auto *banner = m_panel->findChild<designsystem::ErrorBanner *>(QStringLiteral("failure"));
        QVERIFY(banner);
        QCOMPARE(banner->message(), QStringLiteral("Sorry something went wrong"));

        server().clearFailure(GoogleService::eventsPath);
        banner->tryAgainButton()->click();
        QCOMPARE(m_panel->state(), State::Loading);
        QTRY_COMPARE_WITH_TIMEOUT(m_panel->state(), State::List, 20000);

        // A failure after a good reading keeps what was read.
        server().setFailure(GoogleService::eventsPath, 403);
        m_panel->refresh();
        QTRY_COMPARE_WITH_TIMEOUT(m_panel->state(), State::Failed, 20000);
        QCOMPARE(m_panel->events().size(), 1);
    }

    void joinButtonWindow_data()
    {
        QTest::addColumn<qint64>("startIn");
        QTest::addColumn<bool>("button");
        QTest::newRow("599 s ahead") << qint64(599) << true;
        QTest::newRow("600 s ahead") << qint64(600) << true;
        QTest::newRow("601 s ahead") << qint64(601) << false;
        QTest::newRow("started 5 min ago") << qint64(-300) << true;
    }

    void joinButtonWindow()
    {
        QFETCH(qint64, startIn);
        QFETCH(bool, button);
        server().google().setEvents({event(QStringLiteral("m1"), startIn, 1800, "https://meet.example.com/m1")});
        connectFirst();
        showAndLoad(State::List);
        EventView *row = onlyRow();
        QVERIFY(row);
        QCOMPARE(row->shownActionTitle().has_value(), button);
        // Under way: "Now" in place of the switch.
        QCOMPARE(row->showsNow(), startIn < 0);
        QCOMPARE(row->nudgeToggle()->isVisibleTo(row), startIn >= 0);
    }

    void buttonComesWithTheMinute()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 660, 1800)});
        connectFirst();
        showAndLoad(State::List);
        QVERIFY(!onlyRow()->shownActionTitle());
        m_stack->clock.advance(std::chrono::seconds(59));
        QVERIFY(!onlyRow()->shownActionTitle());
        m_stack->clock.advance(std::chrono::seconds(1));
        QCOMPARE(onlyRow()->shownActionTitle(), std::optional<QString>(QStringLiteral("Record")));
        QCOMPARE(onlyRow()->actionButton()->icon(), std::optional(designsystem::IconName::Mic));
        // Hidden, the panel stops looking at the clock.
        m_window->hide();
        m_stack->clock.advance(std::chrono::seconds(660));
        QVERIFY(!onlyRow()->showsNow());
    }

    void timeRange()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 0, 4500)}); // 14:00 to 15:15
        connectFirst();
        showAndLoad(State::List);
        QCOMPARE(onlyRow()->timeText(), QStringLiteral("2:00-3:15pm"));

        CalendarEvent noEnd;
        noEnd.startDate = m_stack->clock.now();
        QVERIFY(!EventView::timeRangeText(noEnd, QLocale::c(), QTimeZone::utc()));
        CalendarEvent morning{QStringLiteral("x"), QStringLiteral("x"), std::nullopt,
                              QDateTime(QDate(2024, 3, 5), QTime(9, 0), Qt::UTC),
                              QDateTime(QDate(2024, 3, 5), QTime(10, 30), Qt::UTC)};
        QCOMPARE(EventView::timeRangeText(morning, QLocale::c(), QTimeZone::utc()),
                 std::optional<QString>(QStringLiteral("9:00-10:30am")));
    }

    void actionPerRecorderState_data()
    {
        QTest::addColumn<AudioRecordingState>("recording");
        QTest::addColumn<bool>("link");
        QTest::addColumn<QString>("title"); // empty: no button
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("starts");
        const QString open = QStringLiteral("open https://meet.example.com/m1");
        const QStringList started{QStringLiteral("recorder panel"), QStringLiteral("recording started")};
        QTest::newRow("stopped, link") << AudioRecordingState::Stopped << true << "Join & record"
                                       << (QStringList{QStringLiteral("close"), open} + started) << 1;
        QTest::newRow("stopped, no link") << AudioRecordingState::Stopped << false << "Record"
                                          << (QStringList{QStringLiteral("close")} + started) << 1;
        QTest::newRow("recording, link") << AudioRecordingState::Recording << true << "Join"
                                         << QStringList{QStringLiteral("close"), open} << 0;
        QTest::newRow("recording, no link") << AudioRecordingState::Recording << false << "" << QStringList{} << 0;
        QTest::newRow("paused, link") << AudioRecordingState::Paused << true << "Join & record"
                                      << QStringList{QStringLiteral("close"), open} << 0;
        QTest::newRow("paused, no link") << AudioRecordingState::Paused << false << "Record"
                                         << QStringList{QStringLiteral("close")} << 0;
    }

    void actionPerRecorderState()
    {
        QFETCH(AudioRecordingState, recording);
        QFETCH(bool, link);
        QFETCH(QString, title);
        QFETCH(QStringList, calls);
        QFETCH(int, starts);
        server().google().setEvents(
            {event(QStringLiteral("m1"), 120, 1800,
                   link ? std::optional<std::string>("https://meet.example.com/m1") : std::nullopt)});
        connectFirst();
        showAndLoad(State::List);
        // The row follows the recording as it changes.
        m_recorder.setState(recording);
        EventView *row = onlyRow();
        QCOMPARE(row->shownActionTitle().value_or(QString()), title);
        if (title.isEmpty())
            return;
        QCOMPARE(row->actionButton()->icon(),
                 std::optional(link ? designsystem::IconName::ExternalLink : designsystem::IconName::Mic));
        row->actionButton()->click();
        QTRY_COMPARE(m_shell.calls, calls);
        QCOMPARE(m_recorder.starts, starts);
        QCOMPARE(m_recorder.displayedPopover, starts == 1);
    }

    void linkThatIsNotWebIsNotOpened()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 120, 1800, "file:///etc/passwd")});
        connectFirst();
        showAndLoad(State::List);
        QCOMPARE(onlyRow()->shownActionTitle(), std::optional<QString>(QStringLiteral("Join & record")));
        onlyRow()->actionButton()->click();
        QTRY_COMPARE(m_recorder.starts, 1);
        QCOMPARE(m_shell.calls, (QStringList{QStringLiteral("close"), QStringLiteral("recorder panel"),
                                             QStringLiteral("recording started")}));
    }

    void failedStartIsSaid()
    {
        server().google().setEvents({event(QStringLiteral("m1"), -60, 1800)});
        connectFirst();
        showAndLoad(State::List);
        m_recorder.fails = true;
        onlyRow()->actionButton()->click();
        QTRY_COMPARE(m_shell.calls, (QStringList{QStringLiteral("close"),
                                                 QStringLiteral("alert Unable to start recording. Please try again")}));
        QVERIFY(!m_recorder.displayedPopover);
    }

    void notifyMeReachesTheManager()
    {
        server().google().setEvents({event(QStringLiteral("m1"), 3600, 1800)});
        connectFirst();
        showAndLoad(State::List);
        EventView *row = onlyRow();
        // The nudge the reading scheduled: the switch starts on.
        QVERIFY(m_stack->manager->hasNudge(row->event()));
        QVERIFY(row->isNudgeOn());

        row->nudgeToggle()->click();
        QVERIFY(!row->isNudgeOn());
        QVERIFY(!m_stack->manager->hasNudge(row->event()));
        QVERIFY(m_nudges.cancelled.contains(QStringLiteral("event;m1;start")));

        row->nudgeToggle()->click();
        QVERIFY(row->isNudgeOn());
        QVERIFY(m_stack->manager->hasNudge(row->event()));
        QTRY_COMPARE_WITH_TIMEOUT(m_stack->manager->scheduledEventReminderIds(),
                                  QStringList{QStringLiteral("event;m1;start")}, 20000);
    }

    void screenshotOfADay()
    {
        server().google().setEvents({event(QStringLiteral("now"), -900, 2700),
                                     event(QStringLiteral("soon"), 180, 1800, "https://meet.example.com/soon"),
                                     event(QStringLiteral("later"), 7200, 1800)});
        connectFirst();
        showAndLoad(State::List);
        QCOMPARE(m_panel->rows().size(), 3);
        QVERIFY(m_window->grab().save(QDir(outputFolder()).filePath(QStringLiteral("meetings-panel.png"))));
    }
};

QTEST_MAIN(TestMeetingsPanel)
#include "tst_meetingspanel.moc"
