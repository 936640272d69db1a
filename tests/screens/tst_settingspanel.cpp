// The settings panel over the shared model and the local backend, its timers on a hand-driven clock: the
// pages of a load, the cards and their texts, the calendar button, goal chips, the privacy switch (its
// tooltip and a save that fails), the focus request's scroll and highlight, and the settings window.
// Screenshots go to the test output folder.

#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/GradientContainer.h"
#include "designsystem/foundation/TextView.h"
#include "platform/Clock.h"
#include "platform/StoredSettings.h"
#include "screens/settings/CalendarConnection.h"
#include "screens/settings/GoalChip.h"
#include "screens/settings/SettingsBlock.h"
#include "screens/settings/SettingsView.h"
#include "screens/settings/SettingsWidgetView.h"
#include "screens/settings/SettingsWidgetViewModel.h"
#include "testsupport/TestOutput.h"
#include "testsupport/backend/ClientFixture.h"

#include <functional>

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace brelta;
using designsystem::WidgetContainerView;
using screens::SettingsBlock;
using screens::SettingsWidgetView;
using screens::SettingsWidgetViewModel;

namespace {

using brelta::testsupport::outputFolder;

// The calendar link as the shell's wiring gives it: connect and disconnect change the state at once.
class TestCalendar final : public screens::CalendarConnection
{
public:
    bool synced = false;
    std::optional<QString> email;
    int connects = 0;
    int disconnects = 0;

    bool isSynced() const override { return synced; }
    std::optional<QString> accountEmail() const override { return email; }
    void connectCalendar() override
    {
        ++connects;
        synced = true;
        emit changed();
    }
    void disconnectCalendar() override
    {
        ++disconnects;
        synced = false;
        emit changed();
    }
};

// A signed-in user, the shared model and the panel mounted in its frame on the popover's background.
struct PanelFixture
{
    // `prepare` sets the backend up before the panel is shown, which starts its first load.
    explicit PanelFixture(platform::SettingsStore *store = nullptr,
                          const std::function<void(testsupport::client::ClientFixture &)> &prepare = {})
    {
        backend.signIn();
        if (prepare)
            prepare(backend);
        model = std::make_unique<SettingsWidgetViewModel>(SettingsWidgetViewModel::Dependencies{
            backend.client.get(), store ? store : &backend.settings, &clock, nullptr});
        SettingsWidgetView::Dependencies deps;
        deps.model = model.get();
        deps.clock = &clock;
        deps.calendar = &calendar;
        deps.username = [] { return QStringLiteral("ada@example.com"); };
        deps.webBase = QUrl(QStringLiteral("https://app.brelta.test"));
        deps.openUrl = [this](const QUrl &url) {
            opened << url;
            return true;
        };
        panel = new SettingsWidgetView(deps);
        frame = new WidgetContainerView(QStringLiteral("Settings"), panel);
        panel->setContainer(frame);
        window = std::make_unique<designsystem::BackgroundGradientContainer>(frame);
        window->resize(WidgetContainerView::panelWidth, WidgetContainerView::panelHeight);
        frame->resize(window->size());
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the panel was not shown");
    }

    bool waitForLoad()
    {
        return QTest::qWaitFor([&] { return !model->isLoading(); }, 5000) && !model->errorLoading();
    }

    bool screenshot(const QString &name)
    {
        return window->grab().save(QDir(outputFolder()).filePath(name + QStringLiteral(".png")));
    }

    testsupport::client::ClientFixture backend;
    platform::ManualClock clock;
    TestCalendar calendar;
    QList<QUrl> opened;
    std::unique_ptr<SettingsWidgetViewModel> model;
    SettingsWidgetView *panel = nullptr;
    WidgetContainerView *frame = nullptr;
    std::unique_ptr<designsystem::BackgroundGradientContainer> window;
};

} // namespace

class TestSettingsPanel : public QObject
{
    Q_OBJECT

private slots:
    void firstLoadShowsSpinnerThenTheCards()
    {
        PanelFixture f;
        QCOMPARE(f.panel->shownPage(), SettingsWidgetView::Page::FirstLoad);
        QVERIFY(f.waitForLoad());
        QCOMPARE(f.panel->shownPage(), SettingsWidgetView::Page::List);

        QCOMPARE(f.panel->calendarBlock()->title(), QStringLiteral("Calendar sync"));
        QCOMPARE(f.panel->calendarBlock()->subtitle(), QStringLiteral("No calendar connected."));
        QCOMPARE(f.panel->privacyBlock()->title(), QStringLiteral("Privacy control"));
        QCOMPARE(f.panel->accountBlock()->subtitle(), QStringLiteral("Email: ada@example.com"));
        QVERIFY(f.panel->versionBlock()->subtitle().startsWith(QStringLiteral("Current version: ")));
        QVERIFY(f.panel->languageBlock()->isVisible());
        QVERIFY(!f.panel->goalChips().isEmpty());
        QCOMPARE(f.panel->goalChips().size(), int(f.model->availableGoals().size()));
        QVERIFY(f.screenshot(QStringLiteral("settings-list")));

        // A later showing reloads behind the list: no spinner once something was shown.
        f.window->hide();
        f.window->show();
        QVERIFY(f.model->isLoading());
        QCOMPARE(f.panel->shownPage(), SettingsWidgetView::Page::List);
        QVERIFY(f.waitForLoad());
    }

    void failedLoadOffersTryAgain()
    {
        PanelFixture f(nullptr, [](testsupport::client::ClientFixture &backend) {
            backend.server.setFailure(devserver::GatewayService::preferencesPath, 500);
        });
        QTRY_COMPARE(f.panel->shownPage(), SettingsWidgetView::Page::LoadError);
        f.backend.server.clearFailure(devserver::GatewayService::preferencesPath);
        QTest::mouseClick(f.panel->tryAgainButton(), Qt::LeftButton);
        QVERIFY(f.waitForLoad());
        QCOMPARE(f.panel->shownPage(), SettingsWidgetView::Page::List);
    }

    void languageCardOnlyWhileALanguageIsChosen()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QVERIFY(f.panel->languageBlock()->isVisible());
        f.model->reset();
        QVERIFY(f.panel->languageBlock()->isHidden());
    }

    void calendarButtonConnectsAndDisconnects()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QCOMPARE(f.panel->calendarButton()->title(), QStringLiteral("Connect Google Calendar"));
        QCOMPARE(f.panel->calendarButton()->type(), designsystem::BrandButton::Type::Primary);
        f.calendar.email = QStringLiteral("ada@gmail.test");
        QTest::mouseClick(f.panel->calendarButton(), Qt::LeftButton);
        QCOMPARE(f.calendar.connects, 1);
        QCOMPARE(f.panel->calendarBlock()->subtitle(), QStringLiteral("Connected calendar: ada@gmail.test"));
        QCOMPARE(f.panel->calendarButton()->title(), QStringLiteral("Disconnect Google Calendar"));
        QCOMPARE(f.panel->calendarButton()->type(), designsystem::BrandButton::Type::Secondary);

        f.calendar.email.reset();
        emit f.calendar.changed();
        QCOMPARE(f.panel->calendarBlock()->subtitle(), QStringLiteral("Connected Google Calendar"));
        QTest::mouseClick(f.panel->calendarButton(), Qt::LeftButton);
        QCOMPARE(f.calendar.disconnects, 1);
        QCOMPARE(f.calendar.connects, 1);
        QCOMPARE(f.panel->calendarButton()->title(), QStringLiteral("Connect Google Calendar"));
    }

    void goalChipsToggleAndStopAtThree()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        // Start from no goals, whatever the seeded user had.
        for (const QString &goal : QStringList(f.model->selectedGoals()))
            for (const auto &offered : f.model->availableGoals())
                if (offered.goal == goal)
                    f.model->toggleGoal(offered);
        QVERIFY(f.model->selectedGoals().isEmpty());
        QVERIFY(f.model->availableGoals().size() > 3);

        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(f.panel->goalChips().at(i), Qt::LeftButton);
        QCOMPARE(f.model->selectedGoals().size(), 3);
        const auto chips = f.panel->goalChips();
        QVERIFY(chips.at(0)->isSelected() && chips.at(0)->isEnabled());
        QVERIFY(!chips.at(3)->isSelected());
        QVERIFY(!chips.at(3)->isEnabled());
        QTest::mouseClick(chips.at(3), Qt::LeftButton);
        QCOMPARE(f.model->selectedGoals().size(), 3);

        // Deselecting one brings the others back.
        QTest::mouseClick(f.panel->goalChips().at(0), Qt::LeftButton);
        QVERIFY(f.panel->goalChips().at(3)->isEnabled());
        f.clock.advance(SettingsWidgetViewModel::kGoalSaveDelay);
        QTRY_COMPARE(f.backend.server.receivedRequests(devserver::GatewayService::goalsPath).size(), 1);
    }

    void privacySwitchShowsTheTooltipWhenTurnedOff()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QVERIFY(f.panel->privacySwitch()->isChecked());
        QVERIFY(!f.panel->privacyTooltip()->isVisible());
        QTest::mouseClick(f.panel->privacySwitch(), Qt::LeftButton, {}, f.panel->privacySwitch()->trackRect().center());
        QVERIFY(!f.panel->privacySwitch()->isChecked());
        QCOMPARE(f.backend.settings.boolValue(platform::settings::kUseWebViewRecorderNewest.key.storedName()),
                 std::optional<bool>(false));
        QVERIFY(f.panel->privacyTooltip()->isVisible());
        // It floats above the switch, inside the card.
        QVERIFY(f.panel->privacyTooltip()->geometry().bottom()
                < f.panel->privacySwitch()->mapTo(f.panel->privacyBlock(), QPoint(0, 0)).y());
        f.panel->scrollArea()->verticalScrollBar()->setValue(f.panel->privacyBlock()->y());
        QVERIFY(f.screenshot(QStringLiteral("settings-tooltip")));
        QVERIFY2(f.panel->privacyBlock()->rect().contains(f.panel->privacyTooltip()->geometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                .arg(f.panel->privacyTooltip()->x())
                                .arg(f.panel->privacyTooltip()->y())
                                .arg(f.panel->privacyTooltip()->width())
                                .arg(f.panel->privacyTooltip()->height())
                                .arg(f.panel->privacyBlock()->width())
                                .arg(f.panel->privacyBlock()->height())));

        f.clock.advance(SettingsWidgetViewModel::kTooltipDuration);
        QVERIFY(!f.panel->privacyTooltip()->isVisible());
        QTest::mouseClick(f.panel->privacySwitch(), Qt::LeftButton, {}, f.panel->privacySwitch()->trackRect().center());
        QVERIFY(f.panel->privacySwitch()->isChecked());
        QVERIFY(!f.panel->privacyTooltip()->isVisible());
    }

    void privacySwitchGoesBackWhenTheStoreFails()
    {
        // A regular file where the folder should be: no write can succeed, whoever runs the test.
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        platform::SettingsStore broken(blocker.fileName() + QStringLiteral("/brelta.ini"));
        PanelFixture f(&broken);
        QVERIFY(f.waitForLoad());

        QTest::mouseClick(f.panel->privacySwitch(), Qt::LeftButton, {}, f.panel->privacySwitch()->trackRect().center());
        QVERIFY(f.panel->privacySwitch()->isChecked());
        QVERIFY(!f.panel->privacyTooltip()->isVisible());
        QCOMPARE(f.frame->error(), std::optional<QString>(SettingsWidgetView::kSaveErrorText));
    }

    void focusRequestScrollsThenHighlightsThePrivacyCard()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QScrollBar *scroll = f.panel->scrollArea()->verticalScrollBar();
        QVERIFY(scroll->maximum() >= f.panel->privacyBlock()->y());
        f.panel->focusPrivacySettings();

        f.clock.advance(749ms);
        QCOMPARE(scroll->value(), 0);
        f.clock.advance(1ms);
        QCOMPARE(scroll->value(), f.panel->privacyBlock()->y());

        f.clock.advance(349ms); // 1.099 s
        QVERIFY(!f.panel->privacyBlock()->isHighlighted());
        f.clock.advance(1ms);
        QVERIFY(f.panel->privacyBlock()->isHighlighted());
        QTRY_COMPARE(f.panel->privacyBlock()->highlightLevel(), 1.0);
        QVERIFY(f.screenshot(QStringLiteral("settings-highlight")));
        f.clock.advance(650ms); // 1.75 s
        QVERIFY(!f.panel->privacyBlock()->isHighlighted());
        QVERIFY(!f.panel->goalsBlock()->isHighlighted());
    }

    void focusTimersDieWithThePanel()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        f.panel->focusPrivacySettings();
        f.window.reset();
        f.clock.advance(2s); // would touch the deleted panel
        QVERIFY(true);
    }

    void privacyPolicyOpensTheWebPage()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QTest::mouseClick(f.panel->privacyPolicyButton(), Qt::LeftButton);
        QCOMPARE(f.opened, QList<QUrl>{QUrl(QStringLiteral("https://app.brelta.test/privacy"))});
    }

    void updateCheckWithoutAFeedPointsToThePackageManager()
    {
        PanelFixture f;
        QVERIFY(f.waitForLoad());
        QTest::mouseClick(f.panel->updateButton(), Qt::LeftButton);
        QTRY_VERIFY(f.panel->updateStatus()->isVisible());
        QCOMPARE(f.panel->updateStatus()->text(), QStringLiteral("Updates come with your system's package manager."));
    }

    void settingsWindowFollowsTheUserAndOpensTheRecordings()
    {
        QTemporaryDir dir;
        platform::SettingsStore store(dir.filePath(QStringLiteral("brelta.ini")));
        const QString folder = dir.filePath(QStringLiteral("Recordings"));
        QStringList shown;
        screens::SettingsView view({&store,
                                    [folder] {
                                        QDir().mkpath(folder);
                                        return folder;
                                    },
                                    [&shown](const QString &path) { shown << path; }});
        QCOMPARE(view.userLine()->text(), QStringLiteral("user: "));
        QVERIFY(view.versionLine()->text().startsWith(QStringLiteral("version: ")));
        QVERIFY(store.setText(platform::settings::kUsername.storedName(), QStringLiteral("ada@example.com")));
        QCOMPARE(view.userLine()->text(), QStringLiteral("user: ada@example.com"));

        QVERIFY(!QDir(folder).exists());
        view.viewAudioFilesButton()->click();
        QVERIFY(QDir(folder).exists());
        QCOMPARE(shown, QStringList{folder});
    }
};

QTEST_MAIN(TestSettingsPanel)
#include "tst_settingspanel.moc"
