#include "RecorderTestSupport.h"

#include "designsystem/components/BrandMenu.h"
#include "designsystem/components/WidgetContainerView.h"
#include "shell/CalendarSyncState.h"
#include "shell/MainView.h"
#include "shell/MainViewViewModel.h"
#include "shell/PopoverSizes.h"
#include "shell/popovers/MainRoot.h"
#include <QPointer>

using namespace brelta::testsupport::shell;
using brelta::platform::desktop::PopoverAnchor;
using brelta::platform::desktop::PopoverWindow;
using brelta::shell::MainView;
using brelta::shell::MainViewMode;
using brelta::shell::MainViewViewModel;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(MainViewMode)

namespace {

class FakeCalendar final : public brelta::shell::CalendarSyncState
{
public:
    bool isSynced() const override { return synced; }
    void setSynced(bool value)
    {
        synced = value;
        emit syncedChanged();
    }
    bool synced = false;
};

// A main view in a popover window on the Xvfb display, resized as the view model asks, with its menu
// actions written down.
struct MainViewFixture
{
    MainViewFixture()
        : window(PopoverWindow::Behaviour::Transient)
        , viewModel([this](QSize size, std::chrono::milliseconds duration) {
            resizes << qMakePair(size, duration);
            window.setContentSize(size);
        })
    {
        brelta::shell::MainViewActions actions;
        actions.webApplicationBase = QStringLiteral("https://app.example.com");
        actions.username = [this] { return username; };
        actions.openUrl = [this](const QUrl &url) {
            opened << url.toString(QUrl::FullyEncoded);
            return true;
        };
        actions.closePopover = [this] { events << QStringLiteral("close"); };
        actions.signOut = [this] { events << QStringLiteral("signOut"); };
        actions.quit = [this] { events << QStringLiteral("quit"); };
        view = new MainView(&viewModel, new brelta::shell::RecorderView(recorder.dependencies()), actions, &calendar);
        window.setContentSize(brelta::shell::sizes::kMainPopoverRecordingSize);
        window.setRoot(view);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        window.showAt(PopoverAnchor{PopoverAnchor::Kind::ScreenCorner, QRect(screen.topRight(), QSize(1, 1))});
    }

    void click(const QString &name)
    {
        auto *button = view->findChild<QAbstractButton *>(name);
        QVERIFY2(button && button->isVisible(), qPrintable(name));
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    QStringList menuTitles() const
    {
        QStringList titles;
        for (auto *item : view->menuButton()->menu()->findChildren<brelta::designsystem::BrandMenuItem *>())
            titles << item->title();
        return titles;
    }

    void choose(const QString &title)
    {
        view->menuButton()->setMenuVisible(true);
        for (auto *item : view->menuButton()->menu()->findChildren<brelta::designsystem::BrandMenuItem *>()) {
            if (item->title() == title)
                QTest::mouseClick(item, Qt::LeftButton, {}, item->rect().center());
        }
    }

    RecorderFixture recorder;
    FakeCalendar calendar;
    PopoverWindow window;
    MainViewViewModel viewModel;
    MainView *view = nullptr;
    QString username;
    QList<QPair<QSize, std::chrono::milliseconds>> resizes;
    QStringList opened;
    QStringList events;
};

} // namespace

class MainViewTest : public QObject
{
    Q_OBJECT

private slots:
    void switchModeResizesFirst_data()
    {
        QTest::addColumn<MainViewMode>("mode");
        QTest::addColumn<bool>("animated");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("durationMs");
        QTest::newRow("settings at once") << MainViewMode::Settings << false << QSize(355, 400) << 0;
        QTest::newRow("recording animated") << MainViewMode::Recording << true << QSize(355, 180) << 250;
        QTest::newRow("notifications animated") << MainViewMode::Notifications << true << QSize(355, 400) << 250;
        QTest::newRow("calendar at once") << MainViewMode::Calendar << false << QSize(355, 400) << 0;
    }

    void switchModeResizesFirst()
    {
        QFETCH(MainViewMode, mode);
        QFETCH(bool, animated);
        QFETCH(QSize, size);
        QFETCH(int, durationMs);
        QStringList order;
        MainViewViewModel vm([&](QSize s, std::chrono::milliseconds d) {
            order << QStringLiteral("resize %1x%2 %3").arg(s.width()).arg(s.height()).arg(d.count());
        });
        QObject::connect(&vm, &MainViewViewModel::currentModeChanged, &vm,
                         [&](MainViewMode m, bool a) { order << QStringLiteral("mode %1 %2").arg(int(m)).arg(a); });
        QCOMPARE(vm.currentMode(), MainViewMode::Recording);
        // The mode already shown is switched to all the same.
        for (int i = 0; i < 2; ++i)
            vm.switchMode(mode, animated);
        const QString resize = QStringLiteral("resize %1x%2 %3").arg(size.width()).arg(size.height()).arg(durationMs);
        const QString changed = QStringLiteral("mode %1 %2").arg(int(mode)).arg(animated);
        QCOMPARE(order, (QStringList{resize, changed, resize, changed}));
        QCOMPARE(vm.currentMode(), mode);
    }

    void insightsUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("url");
        QTest::newRow("no user") << "https://app.example.com"
                                 << ""
                                 << "https://app.example.com/coach/sessions";
        QTest::newRow("plain") << "https://app.example.com"
                               << "ann"
                               << "https://app.example.com/coach/sessions?account=ann";
        QTest::newRow("plus and at are encoded") << "https://app.example.com"
                                                 << "a+b@x.io"
                                                 << "https://app.example.com/coach/sessions?account=a%2Bb%40x.io";
        QTest::newRow("ampersand and hash stay in the value")
            << "http://127.0.0.1:8787"
            << "a&b#c=d"
            << "http://127.0.0.1:8787/coach/sessions?account=a%26b%23c%3Dd";
        QTest::newRow("no host in this build") << "https://"
                                               << "ann"
                                               << "";
        QTest::newRow("not a web address") << "file:///etc"
                                           << "ann"
                                           << "";
    }

    void insightsUrl()
    {
        QFETCH(QString, base);
        QFETCH(QString, username);
        QFETCH(QString, url);
        const QUrl built = MainView::insightsUrl(base, username);
        QCOMPARE(built.isValid() ? built.toString(QUrl::FullyEncoded) : QString(), url);
        if (built.isValid() && !username.isEmpty())
            QCOMPARE(QUrlQuery(built).queryItemValue(QStringLiteral("account"), QUrl::FullyDecoded), username);
    }

    // The header's buttons open their panels; each panel's back button returns to the recorder.
    void headerButtonsAndBack_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<MainViewMode>("mode");
        QTest::addColumn<QString>("title");
        QTest::newRow("meetings") << "calendarButton" << MainViewMode::Calendar << "Meetings";
        QTest::newRow("notifications") << "notificationsButton" << MainViewMode::Notifications << "Notifications";
        QTest::newRow("settings") << "settingsButton" << MainViewMode::Settings << "Settings";
    }

    void headerButtonsAndBack()
    {
        QFETCH(QString, button);
        QFETCH(MainViewMode, mode);
        QFETCH(QString, title);
        MainViewFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.click(button);
        QCOMPARE(f.viewModel.currentMode(), mode);
        QCOMPARE(f.resizes.last(), qMakePair(QSize(355, 400), std::chrono::milliseconds(250)));
        auto *panel = qobject_cast<brelta::designsystem::WidgetContainerView *>(f.view->shownPanel());
        QVERIFY(panel && panel->isVisible());
        QVERIFY(!f.view->panel(MainViewMode::Recording)->isVisible());
        QCOMPARE(panel->backButton()->title(), title);
        QCOMPARE(panel->geometry(), QRect(0, 0, 355, 400));

        QTest::mouseClick(panel->backButton(), Qt::LeftButton, {}, panel->backButton()->rect().center());
        QCOMPARE(f.viewModel.currentMode(), MainViewMode::Recording);
        QCOMPARE(f.resizes.last(), qMakePair(QSize(355, 180), std::chrono::milliseconds(250)));
        QVERIFY(f.view->panel(MainViewMode::Recording)->isVisible());
        QVERIFY(!panel->isVisible());
    }

    // A subsystem's panel takes a placeholder's place, shown while its mode is current, and its back
    // button returns to the recording panel.
    void mountedPanelReplacesPlaceholder()
    {
        MainViewFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.viewModel.switchMode(MainViewMode::Notifications, false);
        QPointer<QWidget> placeholder = f.view->panel(MainViewMode::Notifications);
        auto *content = new QWidget;
        brelta::designsystem::WidgetContainerView *panel =
            f.view->setPanelContent(MainViewMode::Notifications, QStringLiteral("Inbox"), content);
        QVERIFY(placeholder.isNull());
        QCOMPARE(f.view->panel(MainViewMode::Notifications), panel);
        QCOMPARE(panel->content(), content);
        QCOMPARE(panel->objectName(), QStringLiteral("notificationsPanel"));
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->geometry(), QRect(0, 0, 355, 400));
        QTest::mouseClick(panel->backButton(), Qt::LeftButton, {}, panel->backButton()->rect().center());
        QCOMPARE(f.viewModel.currentMode(), MainViewMode::Recording);
        QVERIFY(!panel->isVisible());
    }

    // While the popover is still 180 high, a 400-high panel is centred on it, overflowing equally.
    void tallPanelsStayCentredMidResize()
    {
        MainViewFixture f;
        f.viewModel.switchMode(MainViewMode::Settings, false);
        f.window.setContentSize(QSize(355, 290));
        QCOMPARE(f.view->shownPanel()->geometry(), QRect(0, -55, 355, 400));
    }

    void calendarDotFollowsSync()
    {
        MainViewFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QWidget *dot = f.view->calendarDot();
        QVERIFY(dot->isVisible());
        QVERIFY(dot->testAttribute(Qt::WA_TransparentForMouseEvents));
        // A click on the dot reaches the meetings button under it.
        QWidget *under = dot->parentWidget()->childAt(dot->geometry().center());
        QVERIFY(under);
        QCOMPARE(under->objectName(), QStringLiteral("calendarButton"));
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(dot->parentWidget(), dot->geometry().center()));
        QCOMPARE(f.viewModel.currentMode(), MainViewMode::Calendar);
        f.calendar.setSynced(true);
        QVERIFY(dot->isHidden());
        f.calendar.setSynced(false);
        QVERIFY(!dot->isHidden());
    }

    void menuItems_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("Your Insights") << "Your Insights"
                                       << "a+b@x.io"
                                       << QStringList{"https://app.example.com/coach/sessions?account=a%2Bb%40x.io"}
                                       << QStringList{"close"};
        QTest::newRow("Your Insights, no user")
            << "Your Insights"
            << "" << QStringList{"https://app.example.com/coach/sessions"} << QStringList{"close"};
        QTest::newRow("Sign Out") << "Sign Out"
                                  << "ann" << QStringList{} << QStringList{"signOut"};
        QTest::newRow("Quit Brelta") << "Quit Brelta"
                                     << "ann" << QStringList{} << QStringList{"quit"};
    }

    void menuItems()
    {
        QFETCH(QString, item);
        QFETCH(QString, username);
        QFETCH(QStringList, opened);
        QFETCH(QStringList, events);
        MainViewFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCOMPARE(f.menuTitles(), (QStringList{"Your Insights", "Sign Out", "Quit Brelta"}));
        f.username = username;
        f.choose(item);
        QCOMPARE(f.opened, opened);
        QCOMPARE(f.events, events);
    }

    void screenshots()
    {
        MainViewFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTest::qWait(150);
        QVERIFY(saveScreenshot(&f.window, QStringLiteral("main-stopped")));
        f.recorder.session.setRecordingDuration(754);
        f.recorder.session.setState(AudioRecordingState::Recording);
        QTest::qWait(100);
        QVERIFY(saveScreenshot(&f.window, QStringLiteral("main-recording")));
        f.recorder.session.setState(AudioRecordingState::Paused);
        QTest::qWait(100);
        QVERIFY(saveScreenshot(&f.window, QStringLiteral("main-paused")));
        f.recorder.session.setState(AudioRecordingState::Stopped);
        f.recorder.permissions.set(brelta::shell::MicrophonePermissions::MicrophoneStatus::NotDetermined, false);
        QTest::qWait(100);
        QVERIFY(saveScreenshot(&f.window, QStringLiteral("main-ask-microphone")));
        f.view->menuButton()->setMenuVisible(true);
        QTest::qWait(150);
        // The menu is a window of its own: take the area of both.
        QWidget *menu = f.view->menuButton()->menu();
        const QRect both = f.window.geometry().united(menu->geometry());
        const QPixmap shot = f.window.screen()->grabWindow(0, both.x(), both.y(), both.width(), both.height());
        QVERIFY(shot.save(QDir(outputFolder()).filePath(QStringLiteral("main-menu-open.png"))));
        f.view->menuButton()->setMenuVisible(false);
        f.viewModel.switchMode(MainViewMode::Settings, false);
        QTest::qWait(100);
        QVERIFY(saveScreenshot(&f.window, QStringLiteral("main-settings-placeholder")));
    }

    // In the program: the main popover of a signed-in user holds this view; a header button grows the
    // popover to 355 x 400 and "Sign Out" takes the delegate's sign-out path.
    void mountedInTheMainPopover()
    {
        ShellFixture f;
        f.storeSignedInUser();
        AppDelegate &delegate = f.makeDelegate();
        QVERIFY(f.launchAndWaitForServices());
        delegate.showMainPopover();
        QVERIFY(f.shown(PopoverKind::Main));
        PopoverWindow *window = delegate.popovers()->window(PopoverKind::Main);
        auto *root = qobject_cast<brelta::shell::MainRoot *>(window->root());
        QVERIFY(root);
        QVERIFY(root->mainView()->isVisible());
        QVERIFY(!root->signInView()->isVisible());
        auto *view = qobject_cast<MainView *>(root->mainView());
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        auto *settings = view->findChild<QAbstractButton *>(QStringLiteral("settingsButton"));
        QTest::mouseClick(settings, Qt::LeftButton, {}, settings->rect().center());
        QCOMPARE(delegate.mainViewModel()->currentMode(), MainViewMode::Settings);
        QTRY_COMPARE(window->contentSize(), QSize(355, 400));
        delegate.mainViewModel()->switchMode(MainViewMode::Recording, false);
        QCOMPARE(window->contentSize(), QSize(355, 180));

        view->menuButton()->setMenuVisible(true);
        for (auto *item : view->menuButton()->menu()->findChildren<brelta::designsystem::BrandMenuItem *>()) {
            if (item->title() == QStringLiteral("Sign Out"))
                QTest::mouseClick(item, Qt::LeftButton, {}, item->rect().center());
        }
        QVERIFY(!f.shown(PopoverKind::Main));
        f.clock.advance(500ms);
        QVERIFY(f.shown(PopoverKind::Onboarding));
        QVERIFY(f.settings.text(brelta::platform::settings::kUsername).value_or(QString()).isEmpty());
    }
};

BRELTA_SHELL_TEST_MAIN(MainViewTest, None)
#include "tst_mainview.moc"
