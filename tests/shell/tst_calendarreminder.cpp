// The connect-calendar reminder as the shell shows it: the calendar manager's reminder timer, over the
// fake Google of the local backend, puts the card into the alert popover.
#include "ShellTestSupport.h"

#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "calendar/reminder/CalendarIntegrationReminderView.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/IconView.h"
#include "shell/popovers/PlaceholderRoots.h"

using namespace std::chrono_literals;
using brelta::calendar::CalendarIntegrationReminderView;
using brelta::calendar::CalendarManager;
using brelta::designsystem::BrandButton;
using brelta::designsystem::IconButton;
using brelta::shell::AlertRoot;
using brelta::shell::PopoverKind;
using brelta::testsupport::shell::ShellFixture;

namespace {

class NoNudges final : public brelta::calendar::NudgeScheduler
{
public:
    void processMessage(const brelta::backend::ApiMessages::Message &) override {}
    void cancelScheduledMessage(const QString &) override {}
};

} // namespace

class CalendarReminderTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    std::unique_ptr<brelta::calendar::GoogleAuthenticator> m_auth;
    std::unique_ptr<brelta::calendar::GoogleCalendarEventsProvider> m_events;
    NoNudges m_nudges;
    std::unique_ptr<CalendarManager> m_manager;

    QWidget *alertRoot() const { return f->delegate->popovers()->window(PopoverKind::Alert)->root(); }
    CalendarIntegrationReminderView *card() const
    {
        return qobject_cast<CalendarIntegrationReminderView *>(alertRoot());
    }

    // The reminder's 355 x 200, taller when the card's buttons wrap.
    QSize cardPopoverSize() const { return QSize(355, std::max(200, card()->heightForWidth(355))); }

    // Launches with the reminder sped up and lets its first tick come.
    void launchUntilTheReminderIsDue()
    {
        f->settings.setBool(CalendarManager::kReminderSpedUpKey, true);
        // No onboarding popover in the way.
        f->settings.setValue(brelta::platform::settings::kOnboardingCompleted, true);
        f->makeDelegate();
        f->delegate->launch();
        m_manager->scheduleIntegrationReminder();
        f->clock.advance(59s);
        QVERIFY(!card());
        f->clock.advance(1s);
        QVERIFY(card());
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        using brelta::devserver::GoogleService;
        const QUrl base = f->server.baseUrl();
        brelta::calendar::GoogleClientConfig config;
        config.authUrl = base.resolved(QUrl(GoogleService::authPath));
        config.tokenUrl = base.resolved(QUrl(GoogleService::tokenPath));
        config.clientId = GoogleService::devClientId;
        m_auth = std::make_unique<brelta::calendar::GoogleAuthenticator>(config, &f->secrets, &f->network, &f->clock);
        QUrl api = base;
        api.setPath(GoogleService::calendarApiPath);
        m_events =
            std::make_unique<brelta::calendar::GoogleCalendarEventsProvider>(m_auth.get(), &f->network, &f->clock, api);
        m_manager = std::make_unique<CalendarManager>(brelta::calendar::CalendarManagerServices{
            m_auth.get(), m_events.get(), &m_nudges, []() -> QCoro::Task<QString> { co_return QString(); }, &f->clock,
            &f->settings});
        f->calendarManager = m_manager.get();
    }

    void cleanup()
    {
        // The card goes with the delegate, before the manager it watches; the fixture's clock last.
        f->delegate.reset();
        m_manager.reset();
        m_events.reset();
        m_auth.reset();
        f.reset();
    }

    void aDueReminderShowsTheCardInTheAlertPopover()
    {
        launchUntilTheReminderIsDue();
        QVERIFY(f->shown(PopoverKind::Alert));
        auto *window = f->delegate->popovers()->window(PopoverKind::Alert);
        QCOMPARE(window->size(), cardPopoverSize());
        QCOMPARE(card()->size(), window->size());
        QVERIFY(!window->isActiveWindow());
        QTest::qWait(100);
        QVERIFY(brelta::testsupport::shell::saveScreenshot(window, QStringLiteral("calendar-reminder-popover")));

        // The next tick puts a fresh card in the same popover.
        CalendarIntegrationReminderView *first = card();
        QPointer<CalendarIntegrationReminderView> watched(first);
        f->clock.advance(60s);
        QVERIFY(!watched);
        QVERIFY(card());
        QVERIFY(f->shown(PopoverKind::Alert));
    }

    void theCardsControlsCloseThePopover_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("stillArmed");
        QTest::newRow("close icon") << QStringLiteral("close") << true;
        QTest::newRow("don't remind me") << QStringLiteral("dontRemindMe") << false;
    }

    void theCardsControlsCloseThePopover()
    {
        QFETCH(QString, control);
        QFETCH(bool, stillArmed);
        launchUntilTheReminderIsDue();
        auto *pressed = card()->findChild<QAbstractButton *>(control);
        QVERIFY(pressed);
        QTest::mouseClick(pressed, Qt::LeftButton);
        QVERIFY(!f->shown(PopoverKind::Alert));
        QCOMPARE(m_manager->isIntegrationReminderArmed(), stillArmed);
        QCOMPARE(f->settings.boolValue(CalendarManager::kReminderCanceledKey).value_or(false), !stillArmed);
        // Declined, no later tick shows the card again.
        f->clock.advance(5min);
        QCOMPARE(f->shown(PopoverKind::Alert), stillArmed);
    }

    // A build without a Google client says so when the user tries to connect.
    void connectingWithoutAGoogleClientSaysSo()
    {
        brelta::calendar::GoogleAuthenticator noClient({}, &f->secrets, &f->network, &f->clock);
        CalendarManager manager(brelta::calendar::CalendarManagerServices{
            &noClient, m_events.get(), &m_nudges, []() -> QCoro::Task<QString> { co_return QString(); }, &f->clock,
            &f->settings});
        f->calendarManager = &manager;
        f->settings.setValue(brelta::platform::settings::kOnboardingCompleted, true);
        f->makeDelegate();
        f->delegate->launch();
        manager.connectCalendar();
        QTRY_VERIFY(f->shown(PopoverKind::Alert));
        auto *alert = qobject_cast<AlertRoot *>(alertRoot());
        QVERIFY(alert);
        QCOMPARE(alert->title(), brelta::shell::AppDelegate::kCalendarUnavailableTitle);
        QCOMPARE(alert->message(), brelta::calendar::GoogleAuthenticator::kNoClientMessage);
        f->delegate.reset();
    }

    void anAlertAndTheCardReplaceEachOther()
    {
        launchUntilTheReminderIsDue();
        f->delegate->showAlert(QStringLiteral("Unable to record"), QStringLiteral("Try again"));
        QVERIFY(qobject_cast<AlertRoot *>(alertRoot()));
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Alert)->width(), 285);
        f->delegate->showCalendarIntegrationReminder();
        QVERIFY(card());
        QVERIFY(f->shown(PopoverKind::Alert));
        QCOMPARE(f->delegate->popovers()->window(PopoverKind::Alert)->size(), cardPopoverSize());
    }

    void withoutACalendarNothingIsShown()
    {
        f->calendarManager = nullptr;
        f->makeDelegate();
        f->delegate->launch();
        f->delegate->showCalendarIntegrationReminder();
        QVERIFY(!f->shown(PopoverKind::Alert));
        QVERIFY(!card());
    }
};

BRELTA_SHELL_TEST_MAIN(CalendarReminderTest, None)
#include "tst_calendarreminder.moc"
