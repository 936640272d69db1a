#include "designsystem/components/BrandMenu.h"

#include <QAccessible>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

namespace {
// Counts the presses that reach it.
class PressCounter : public QWidget
{
public:
    using QWidget::QWidget;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

// A window with the menu button near its top right and a press counter below it. Clicks go through the
// window system, as a user's would, so the pop-up's own handling of outside presses takes part.
struct Scene
{
    QWidget window;
    BrandMenuButton *button = new BrandMenuButton(&window);
    PressCounter *elsewhere = new PressCounter(&window);
    QStringList ran;

    Scene()
    {
        window.setGeometry(100, 100, 400, 300);
        button->move(300, 20);
        elsewhere->setGeometry(20, 200, 100, 60);
        button->addItem(QStringLiteral("Settings"), IconName::Settings, [this] { ran << QStringLiteral("settings"); });
        button->addItem(QStringLiteral("Sign out"), std::nullopt, [this] { ran << QStringLiteral("sign out"); });
        window.show();
    }

    BrandMenu *menu() const { return button->menu(); }
    QList<BrandMenuItem *> rows() const { return menu()->findChildren<BrandMenuItem *>(); }

    void clickInWindow(const QPoint &pos) { QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, pos); }
    void clickButton() { clickInWindow(button->geometry().center()); }
    void clickInMenu(const QPoint &pos) { QTest::mouseClick(menu()->windowHandle(), Qt::LeftButton, {}, pos); }
};
} // namespace

class BrandMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void opensBelowTheButtonWithTrailingEdgesAligned()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        QVERIFY(!scene.button->isMenuVisible());
        QCOMPARE(scene.button->size(), QSize(32, 32));
        scene.clickButton();
        QVERIFY(scene.button->isMenuVisible());

        const QPoint buttonTopLeft = scene.button->mapToGlobal(QPoint(0, 0));
        const QRect panel = scene.menu()->geometry();
        // Its trailing edge 16 px right of the button's centre, its top 20 px below it.
        QCOMPARE(panel.x() + panel.width(), buttonTopLeft.x() + 16 + 16);
        QCOMPARE(panel.y(), buttonTopLeft.y() + 16 + 20);
        QCOMPARE(panel.size(), scene.menu()->sizeHint());

        // Rows touch each other, 4 px inside the panel, each as wide as the panel's inside.
        const auto rows = scene.rows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0)->geometry().topLeft(), QPoint(4, 4));
        QCOMPARE(rows.at(1)->y(), rows.at(0)->geometry().bottom() + 1);
        QCOMPARE(rows.at(0)->width(), panel.width() - 8);
        QCOMPARE(panel.height(), rows.at(0)->height() + rows.at(1)->height() + 8);
        // The panel fades in.
        QTRY_COMPARE(scene.menu()->fadeProgress(), 1.0);
    }

    void rowPressRunsItsActionOnceAndCloses()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickButton();
        scene.clickInMenu(scene.rows().at(1)->geometry().center());
        QCOMPARE(scene.ran, QStringList({"sign out"}));
        QVERIFY(!scene.button->isMenuVisible());

        // A press on the panel beside the rows closes it too, running nothing.
        scene.clickButton();
        scene.clickInMenu(QPoint(1, 1));
        QVERIFY(!scene.button->isMenuVisible());
        QCOMPARE(scene.ran, QStringList({"sign out"}));
    }

    void pressOutsideClosesWithoutLandingUnderneath()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        // Closed: a press outside lands where it is aimed and opens nothing.
        scene.clickInWindow(scene.elsewhere->geometry().center());
        QCOMPARE(scene.elsewhere->presses, 1);
        QVERIFY(!scene.button->isMenuVisible());

        scene.clickButton();
        QVERIFY(scene.button->isMenuVisible());
        scene.clickInWindow(scene.elsewhere->geometry().center());
        QVERIFY(!scene.button->isMenuVisible());
        QCOMPARE(scene.elsewhere->presses, 1);
        QVERIFY(scene.ran.isEmpty());

        // A press on the button while open closes the panel and does not open it again.
        scene.clickButton();
        QVERIFY(scene.button->isMenuVisible());
        scene.clickButton();
        QVERIFY(!scene.button->isMenuVisible());
    }

    void escapeCloses()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickButton();
        QTest::keyClick(scene.menu(), Qt::Key_Escape);
        QVERIFY(!scene.button->isMenuVisible());
        QVERIFY(scene.ran.isEmpty());
    }

    void isMeasuredAtEveryOpening()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.clickButton();
        const QSize first = scene.menu()->size();
        scene.menu()->close();

        scene.button->addItem(QStringLiteral("Open the sessions dashboard in the browser"), IconName::ExternalLink,
                              [] {});
        scene.clickButton();
        const QRect panel = scene.menu()->geometry();
        QVERIFY(panel.width() > first.width() + 60);
        QVERIFY(panel.height() > first.height());
        QCOMPARE(panel.size(), scene.menu()->sizeHint());
        // Still hanging from the button's trailing edge.
        QCOMPARE(panel.x() + panel.width(), scene.button->mapToGlobal(QPoint(32, 0)).x());
    }

    void keyboardOpensWalksAndRuns()
    {
        Scene scene;
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        scene.button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(scene.button, Qt::Key_Space);
        QVERIFY(scene.button->isMenuVisible());
        const auto rows = scene.rows();
        QVERIFY(rows.at(0)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(rows.at(1)->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(scene.ran, QStringList({"sign out"}));
        QVERIFY(!scene.button->isMenuVisible());

        QTest::keyClick(scene.button, Qt::Key_Return);
        QVERIFY(scene.button->isMenuVisible());
    }

    void rolesAndNames()
    {
        Scene scene;
        QCOMPARE(QAccessible::queryAccessibleInterface(scene.button)->text(QAccessible::Name),
                 QStringLiteral("More options"));
        QCOMPARE(QAccessible::queryAccessibleInterface(scene.menu())->role(), QAccessible::PopupMenu);
        QAccessibleInterface *row = QAccessible::queryAccessibleInterface(scene.rows().at(0));
        QCOMPARE(row->role(), QAccessible::MenuItem);
        QCOMPARE(row->text(QAccessible::Name), QStringLiteral("Settings"));
    }

    void itemShowsItsIconAtTheTrailingEnd()
    {
        BrandMenuItem plain(QStringLiteral("Help"), std::nullopt, {});
        BrandMenuItem withIcon(QStringLiteral("Help"), IconName::Info, {});
        // 12 px between the title and a 16 px icon; 8 px padding all round.
        QCOMPARE(withIcon.sizeHint().width() - plain.sizeHint().width(), 12 + 16);
        QCOMPARE(withIcon.sizeHint().height(), std::max(plain.sizeHint().height(), 16 + 16));
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("trailing");
        QTest::addColumn<Qt::LayoutDirection>("direction");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("expected");
        const QRect screen(0, 0, 800, 600);
        const QSize panel(120, 80);
        QTest::newRow("below, trailing edges aligned")
            << QRect(300, 100, 32, 32) << panel << true << Qt::LeftToRight << screen << QRect(212, 136, 120, 80);
        QTest::newRow("below, leading edges aligned")
            << QRect(300, 100, 240, 40) << panel << false << Qt::LeftToRight << screen << QRect(300, 144, 120, 80);
        QTest::newRow("right to left: the trailing edge is the left")
            << QRect(300, 100, 32, 32) << panel << true << Qt::RightToLeft << screen << QRect(300, 136, 120, 80);
        QTest::newRow("no room below: above the owner")
            << QRect(300, 540, 32, 32) << panel << true << Qt::LeftToRight << screen << QRect(212, 456, 120, 80);
        QTest::newRow("past the left edge: moved in")
            << QRect(10, 100, 32, 32) << panel << true << Qt::LeftToRight << screen << QRect(0, 136, 120, 80);
        QTest::newRow("past the right edge: moved in")
            << QRect(750, 100, 32, 32) << panel << false << Qt::LeftToRight << screen << QRect(680, 136, 120, 80);
        QTest::newRow("second screen") << QRect(810, 100, 32, 32) << panel << true << Qt::LeftToRight
                                       << QRect(800, 0, 800, 600) << QRect(800, 136, 120, 80);
        QTest::newRow("taller than the room on both sides: kept on screen")
            << QRect(300, 250, 32, 32) << QSize(120, 500) << true << Qt::LeftToRight << screen
            << QRect(212, 100, 120, 500);
    }

    void placement()
    {
        QFETCH(QRect, owner);
        QFETCH(QSize, size);
        QFETCH(bool, trailing);
        QFETCH(Qt::LayoutDirection, direction);
        QFETCH(QRect, screen);
        QFETCH(QRect, expected);
        QCOMPARE(PopupPanel::placement(owner, size, trailing, direction, screen), expected);
    }
};

QTEST_MAIN(BrandMenuTest)
#include "tst_brandmenu.moc"
