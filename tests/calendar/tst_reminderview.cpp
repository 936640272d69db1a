// The connect-calendar reminder card over the real calendar manager: the fake Google of the local backend,
// the private Secret Service, a hand-driven clock and analytics sent to the backend's collector. The
// popover it closes is the one stand-in: the shell's alert popover, as a flag.
#include "CalendarStack.h"
#include "calendar/reminder/CalendarIntegrationReminderView.h"
#include "calendar/reminder/ReminderPopover.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/TestOutput.h"
#include "testsupport/backend/CollectorTelemetry.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace brelta;
using namespace brelta::calendar;
using brelta::designsystem::BrandButton;
using brelta::designsystem::IconButton;
using brelta::designsystem::IconName;
using brelta::devserver::GoogleService;
using brelta::testsupport::awaitTask;

namespace {

// The card's size in the alert popover.
const QSize kCardSize(355, 200);

class NoNudges final : public NudgeScheduler
{
public:
    void processMessage(const backend::ApiMessages::Message &) override {}
    void cancelScheduledMessage(const QString &) override {}
};

// The alert popover: shown until the card closes it.
class FlagPopover final : public ReminderPopover
{
public:
    void closeReminder() override
    {
        if (shown)
            ++closes;
        shown = false;
    }

    bool shown = true;
    int closes = 0;
};

using brelta::testsupport::outputFolder;

} // namespace

class TestReminderView : public QObject
{
    Q_OBJECT

private:
    // Before the stack: its manager hands nudges here until it goes.
    NoNudges m_nudges;
    std::unique_ptr<testsupport::calendar::CalendarStack> m_stack;
    QTemporaryDir m_storage;
    std::unique_ptr<testsupport::CollectorTelemetry> m_telemetry;
    FlagPopover m_popover;
    std::unique_ptr<CalendarIntegrationReminderView> m_card;
    int m_markers = 0;

    devserver::DevServer &server() { return m_stack->server(); }
    platform::SettingsStore &settings() { return m_stack->backend.settings; }

    // A manager over the same account and settings: the program launched again.
    void makeManager() { m_stack->makeManager(&m_nudges); }

    CalendarIntegrationReminderView &makeCard()
    {
        m_card = std::make_unique<CalendarIntegrationReminderView>(
            ReminderCardServices{m_stack->manager.get(), &m_popover, &m_telemetry->analytics});
        m_card->resize(kCardSize);
        m_card->show();
        return *m_card;
    }

    BrandButton *button(const char *name) const { return m_card->findChild<BrandButton *>(QLatin1String(name)); }

    // The "Interaction Taken" events the collector received, as "screen / type / component"; a marker is
    // sent last and waited for, so every event before it has arrived.
    QStringList interactions()
    {
        const std::string marker = QStringLiteral("Test Marker %1").arg(++m_markers).toStdString();
        m_telemetry->analyticsClient->track(QString::fromStdString(marker), {});
        QStringList found;
        const bool arrived = QTest::qWaitFor(
            [&] {
                found.clear();
                bool markerSeen = false;
                for (const nlohmann::json &message : server().collector().batchMessages()) {
                    markerSeen = markerSeen || message.value("event", std::string()) == marker;
                    if (message.value("event", std::string()) != "Interaction Taken")
                        continue;
                    const nlohmann::json &p = message.at("properties");
                    found << QString::fromStdString(
                        p.at("screen_name").get<std::string>() + " / " + p.at("interaction_type").get<std::string>()
                        + " / " + p.at("component_name").get<std::string>()
                        + (p.contains("component_value") && !p.at("component_value").is_null() ? " / with value" : "")
                        + (p.contains("interaction_value") && !p.at("interaction_value").is_null()
                               ? " / with interaction"
                               : ""));
                }
                return markerSeen;
            },
            10000);
        return arrived ? found : QStringList{QStringLiteral("(the analytics marker never arrived)")};
    }

    static QString connectClick()
    {
        return QStringLiteral("Google Calendar Integration Reminder Popover / CLICK / Connect Google Calendar Button");
    }

private slots:
    void init()
    {
        m_stack =
            std::make_unique<testsupport::calendar::CalendarStack>(QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC));
        m_telemetry = std::make_unique<testsupport::CollectorTelemetry>(server(), &m_stack->clock, m_storage.path());
        m_stack->browser.opened.clear();
        m_stack->browser.follow = true;
        m_popover = FlagPopover();
        makeManager();
    }

    void cleanup()
    {
        m_card.reset();
        m_telemetry.reset();
        m_stack.reset();
    }

    void textsAndControls()
    {
        CalendarIntegrationReminderView &card = makeCard();
        QStringList texts;
        for (const designsystem::TextView *text : card.findChildren<designsystem::TextView *>())
            texts << text->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("Connect Google Calendar"),
                                     QStringLiteral("Stay on top of your schedule and receive effortless reminders "
                                                    "to use Brelta.")}));

        BrandButton *connect = button("connectGoogleCalendar");
        BrandButton *decline = button("dontRemindMe");
        QVERIFY(connect && decline);
        QCOMPARE(connect->title(), QStringLiteral("Connect Google Calendar"));
        QCOMPARE(connect->icon(), std::optional(IconName::GoogleCalendar));
        QCOMPARE(connect->type(), BrandButton::Type::Primary);
        QCOMPARE(decline->title(), QStringLiteral("Don't remind me"));
        QCOMPARE(decline->icon(), std::nullopt);
        QCOMPARE(decline->type(), BrandButton::Type::Secondary);
        for (BrandButton *pill : {connect, decline}) {
            QCOMPARE(pill->shape(), BrandButton::Shape::Pill);
            QCOMPARE(pill->buttonSize(), BrandButton::Size::Small);
            QVERIFY(!pill->isLoading());
            QVERIFY(!pill->isFullSize());
        }

        // The close icon in the top trailing corner of a card that keeps the popover's width.
        QTest::qWait(50);
        QCOMPARE(card.width(), 355);
        auto *close = card.findChild<IconButton *>(QStringLiteral("close"));
        QVERIFY(close);
        QCOMPARE(close->iconName(), IconName::Close);
        QVERIFY(close->isVisible());
        QCOMPARE(close->geometry().center(), QPoint(355 - 8 - 8, 8 + 8));
    }

    void buttonsStayInsideTheCard_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("sideBySide");
        QTest::newRow("the popover's width") << 355 << false;
        QTest::newRow("room for both") << 420 << true;
    }

    void buttonsStayInsideTheCard()
    {
        QFETCH(int, width);
        QFETCH(bool, sideBySide);
        CalendarIntegrationReminderView &card = makeCard();
        const int height = std::max(kCardSize.height(), card.heightForWidth(width));
        card.resize(width, height);
        QTest::qWait(50);
        QCOMPARE(card.size(), QSize(width, height));
        BrandButton *connect = button("connectGoogleCalendar");
        BrandButton *decline = button("dontRemindMe");
        const QRect inside = card.rect().adjusted(24, 24, -24, -24);
        QVERIFY2(inside.contains(connect->geometry()), "the connect button overflows the card");
        QVERIFY2(inside.contains(decline->geometry()), "the decline button overflows the card");
        QCOMPARE(connect->size(), connect->sizeHint());
        QCOMPARE(decline->size(), decline->sizeHint());
        if (sideBySide) {
            QCOMPARE(connect->geometry().center().y(), decline->geometry().center().y());
            QCOMPARE(decline->geometry().left() - connect->geometry().right() - 1, 8);
        } else {
            QCOMPARE(decline->geometry().left(), connect->geometry().left());
            QCOMPARE(decline->geometry().top() - connect->geometry().bottom() - 1, 8);
        }
        QVERIFY(card.grab().save(QDir(outputFolder()).filePath(QStringLiteral("calendar-reminder-%1.png").arg(width))));
    }

    void connectStartsTheConnectionAndClosesOnceSynced()
    {
        makeCard();
        QSignalSpy synced(m_stack->manager.get(), &CalendarManager::syncedChanged);
        QTest::mouseClick(button("connectGoogleCalendar"), Qt::LeftButton);
        // The card stays while the user consents in the browser.
        QVERIFY(m_popover.shown);
        QTRY_COMPARE_WITH_TIMEOUT(m_stack->browser.opened.size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_stack->manager->isSynced(), 20000);
        QCOMPARE(synced.size(), 1);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QCOMPARE(interactions(), QStringList{connectClick()});
    }

    void connectWhenAlreadyConnectedOnlyCloses()
    {
        QSignalSpy synced(m_stack->manager.get(), &CalendarManager::eventsSynced);
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 1, 20000);
        m_stack->browser.opened.clear();

        makeCard();
        QTest::mouseClick(button("connectGoogleCalendar"), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QTest::qWait(200);
        QVERIFY(m_stack->browser.opened.isEmpty());
        QCOMPARE(interactions(), QStringList{connectClick()});
    }

    void declineStopsTheRemindersForGood()
    {
        settings().setBool(CalendarManager::kReminderSpedUpKey, true);
        QSignalSpy due(m_stack->manager.get(), &CalendarManager::integrationReminderDue);
        m_stack->manager->scheduleIntegrationReminder();
        QVERIFY(m_stack->manager->isIntegrationReminderArmed());

        makeCard();
        QTest::mouseClick(button("dontRemindMe"), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QVERIFY(!m_stack->manager->isIntegrationReminderArmed());
        QCOMPARE(settings().boolValue(CalendarManager::kReminderCanceledKey), std::optional<bool>(true));
        m_stack->clock.advance(std::chrono::seconds(180));
        QTest::qWait(50);
        QCOMPARE(due.size(), 0);

        // A later launch arms nothing; the next sign-out lifts the refusal.
        m_card.reset();
        makeManager();
        m_stack->manager->scheduleIntegrationReminder();
        QVERIFY(!m_stack->manager->isIntegrationReminderArmed());
        m_stack->manager->disconnectCalendar();
        m_stack->manager->scheduleIntegrationReminder();
        QVERIFY(m_stack->manager->isIntegrationReminderArmed());
        // Declining sends no event.
        QCOMPARE(interactions(), QStringList());
    }

    void closeIconKeepsTheReminder()
    {
        m_stack->manager->scheduleIntegrationReminder();
        makeCard();
        QTest::mouseClick(m_card->findChild<IconButton *>(QStringLiteral("close")), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QVERIFY(m_stack->manager->isIntegrationReminderArmed());
        QCOMPARE(settings().boolValue(CalendarManager::kReminderCanceledKey).value_or(false), false);
        QVERIFY(m_stack->browser.opened.isEmpty());
        QCOMPARE(interactions(), QStringList());
    }

    void connectingElsewhereClosesTheCard()
    {
        // The meetings panel or the settings connect the calendar while the card is up.
        makeCard();
        m_stack->manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(m_stack->manager->isSynced(), 20000);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
    }
};

QTEST_MAIN(TestReminderView)
#include "tst_reminderview.moc"
