// The connect-calendar reminder card over the real calendar manager: the fake Google of the local backend,
// the private Secret Service, a hand-driven clock and analytics sent to the backend's collector. The
// popover it closes is the one stand-in: the shell's alert popover, as a flag.
#include "GoogleBrowser.h"
#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "calendar/reminder/CalendarIntegrationReminderView.h"
#include "calendar/reminder/ReminderPopover.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/backend/ClientFixture.h"
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

QString outputFolder()
{
    const QString folder = qEnvironmentVariable("BRELTA_TEST_OUTPUT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    return folder;
}

} // namespace

class TestReminderView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testsupport::client::ClientFixture> m_backend;
    std::unique_ptr<platform::ManualClock> m_clock;
    std::unique_ptr<testsupport::CollectorTelemetry> m_telemetry;
    QTemporaryDir m_storage;
    QNetworkAccessManager m_network;
    std::unique_ptr<platform::SecretStore> m_secrets;
    testsupport::calendar::Browser m_browser;
    std::unique_ptr<GoogleAuthenticator> m_auth;
    std::unique_ptr<GoogleCalendarEventsProvider> m_events;
    NoNudges m_nudges;
    std::unique_ptr<CalendarManager> m_manager;
    FlagPopover m_popover;
    std::unique_ptr<CalendarIntegrationReminderView> m_card;
    int m_markers = 0;

    devserver::DevServer &server() { return m_backend->server; }
    platform::SettingsStore &settings() { return m_backend->settings; }

    // A manager over the same account and settings: the program launched again.
    void makeManager()
    {
        m_manager.reset();
        const QUrl base = server().baseUrl();
        GoogleClientConfig config;
        config.authUrl = base.resolved(QUrl(GoogleService::authPath));
        config.tokenUrl = base.resolved(QUrl(GoogleService::tokenPath));
        config.clientId = GoogleService::devClientId;
        m_auth = std::make_unique<GoogleAuthenticator>(config, m_secrets.get(), &m_network, m_clock.get());
        m_auth->setUrlOpener([this](const QUrl &url) { return m_browser.open(url); });
        m_auth->setUserId(QStringLiteral("user-1"));
        QUrl api = base;
        api.setPath(GoogleService::calendarApiPath);
        m_events = std::make_unique<GoogleCalendarEventsProvider>(m_auth.get(), &m_network, m_clock.get(), api);
        backend::ApiClient *client = m_backend->client.get();
        m_manager = std::make_unique<CalendarManager>(
            CalendarManagerServices{m_auth.get(), m_events.get(), &m_nudges,
                                    [client] { return client->generateCoachingTip(); }, m_clock.get(), &settings()});
        m_manager->setTimeZone(QTimeZone::utc());
    }

    CalendarIntegrationReminderView &makeCard()
    {
        m_card = std::make_unique<CalendarIntegrationReminderView>(
            ReminderCardServices{m_manager.get(), &m_popover, &m_telemetry->analytics});
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
        m_backend = std::make_unique<testsupport::client::ClientFixture>();
        m_backend->signIn();
        m_clock = std::make_unique<platform::ManualClock>(QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC));
        m_telemetry = std::make_unique<testsupport::CollectorTelemetry>(server(), m_clock.get(), m_storage.path());
        m_secrets = std::make_unique<platform::SecretStore>();
        QVERIFY(
            awaitTask(m_secrets->remove({QStringLiteral("com.brelta.desktop-googleAccount"), QStringLiteral("brelta")}))
                .succeeded());
        m_browser.opened.clear();
        m_browser.follow = true;
        m_popover = FlagPopover();
        makeManager();
    }

    void cleanup()
    {
        m_card.reset();
        m_manager.reset();
        m_events.reset();
        m_auth.reset();
        m_telemetry.reset();
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
        QSignalSpy synced(m_manager.get(), &CalendarManager::syncedChanged);
        QTest::mouseClick(button("connectGoogleCalendar"), Qt::LeftButton);
        // The card stays while the user consents in the browser.
        QVERIFY(m_popover.shown);
        QTRY_COMPARE_WITH_TIMEOUT(m_browser.opened.size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_manager->isSynced(), 20000);
        QCOMPARE(synced.size(), 1);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QCOMPARE(interactions(), QStringList{connectClick()});
    }

    void connectWhenAlreadyConnectedOnlyCloses()
    {
        QSignalSpy synced(m_manager.get(), &CalendarManager::eventsSynced);
        m_manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(synced.size() == 1, 20000);
        m_browser.opened.clear();

        makeCard();
        QTest::mouseClick(button("connectGoogleCalendar"), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QTest::qWait(200);
        QVERIFY(m_browser.opened.isEmpty());
        QCOMPARE(interactions(), QStringList{connectClick()});
    }

    void declineStopsTheRemindersForGood()
    {
        settings().setBool(CalendarManager::kReminderSpedUpKey, true);
        QSignalSpy due(m_manager.get(), &CalendarManager::integrationReminderDue);
        m_manager->scheduleIntegrationReminder();
        QVERIFY(m_manager->isIntegrationReminderArmed());

        makeCard();
        QTest::mouseClick(button("dontRemindMe"), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QVERIFY(!m_manager->isIntegrationReminderArmed());
        QCOMPARE(settings().boolValue(CalendarManager::kReminderCanceledKey), std::optional<bool>(true));
        m_clock->advance(std::chrono::seconds(180));
        QTest::qWait(50);
        QCOMPARE(due.size(), 0);

        // A later launch arms nothing; the next sign-out lifts the refusal.
        m_card.reset();
        makeManager();
        m_manager->scheduleIntegrationReminder();
        QVERIFY(!m_manager->isIntegrationReminderArmed());
        m_manager->disconnectCalendar();
        m_manager->scheduleIntegrationReminder();
        QVERIFY(m_manager->isIntegrationReminderArmed());
        // Declining sends no event.
        QCOMPARE(interactions(), QStringList());
    }

    void closeIconKeepsTheReminder()
    {
        m_manager->scheduleIntegrationReminder();
        makeCard();
        QTest::mouseClick(m_card->findChild<IconButton *>(QStringLiteral("close")), Qt::LeftButton);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
        QVERIFY(m_manager->isIntegrationReminderArmed());
        QCOMPARE(settings().boolValue(CalendarManager::kReminderCanceledKey).value_or(false), false);
        QVERIFY(m_browser.opened.isEmpty());
        QCOMPARE(interactions(), QStringList());
    }

    void connectingElsewhereClosesTheCard()
    {
        // The meetings panel or the settings connect the calendar while the card is up.
        makeCard();
        m_manager->connectCalendar();
        QTRY_VERIFY_WITH_TIMEOUT(m_manager->isSynced(), 20000);
        QVERIFY(!m_popover.shown);
        QCOMPARE(m_popover.closes, 1);
    }
};

QTEST_MAIN(TestReminderView)
#include "tst_reminderview.moc"
