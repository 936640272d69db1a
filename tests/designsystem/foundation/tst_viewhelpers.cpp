#include "designsystem/foundation/ViewHelpers.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace brelta::designsystem;

namespace {
QWidget *fixedWidget(QSize size, QWidget *parent = nullptr)
{
    auto *widget = new QWidget(parent);
    widget->setFixedSize(size);
    return widget;
}

// Counts presses that reach it.
class PressCounter : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

// A window with the watched view at the top left and another widget at the bottom right.
struct TapScene
{
    QWidget window;
    PressCounter *view = new PressCounter;
    PressCounter *elsewhere = new PressCounter;
    TapOutside tap{view};
    QSignalSpy tapped{&tap, &TapOutside::tappedOutside};

    TapScene()
    {
        window.resize(300, 300);
        view->setParent(&window);
        view->setGeometry(10, 10, 50, 50);
        elsewhere->setParent(&window);
        elsewhere->setGeometry(200, 200, 80, 80);
        window.show();
    }
};
} // namespace

class ViewHelpersTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeCalculatorReportsTheLaidOutSizeOnShow()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *view = new QWidget;
        view->setMinimumSize(120, 30);
        view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(view);
        SizeCalculator calculator(view);
        QSignalSpy measured(&calculator, &SizeCalculator::sizeMeasured);
        QCOMPARE(calculator.size(), QSize());

        window.show();
        QTRY_COMPARE(measured.count(), 1);
        QCOMPARE(calculator.size(), view->size());
        QCOMPARE(calculator.size(), QSize(120, 30));

        // Growing while shown is not reported ...
        view->setMinimumSize(200, 50);
        QTRY_COMPARE(view->size(), QSize(200, 50));
        QTest::qWait(20);
        QCOMPARE(calculator.size(), QSize(120, 30));

        // ... until the view is shown anew.
        view->hide();
        view->show();
        QTRY_COMPARE(calculator.size(), QSize(200, 50));
    }

    void tapOutsideDoesNothingWhileInactive()
    {
        TapScene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        QTest::mouseClick(scene.elsewhere, Qt::LeftButton);
        QCOMPARE(scene.tapped.count(), 0);
        QCOMPARE(scene.elsewhere->presses, 1);
    }

    void tapOutsideRunsOncePerTapAndSwallowsIt()
    {
        TapScene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        scene.tap.setActive(true);
        QTest::mouseClick(scene.elsewhere, Qt::LeftButton);
        QCOMPARE(scene.tapped.count(), 1);
        QCOMPARE(scene.elsewhere->presses, 0);
        QTest::mouseClick(&scene.window, Qt::LeftButton, {}, QPoint(150, 20));
        QCOMPARE(scene.tapped.count(), 2);

        // A press on the view itself reaches the view.
        QTest::mouseClick(scene.view, Qt::LeftButton);
        QCOMPARE(scene.tapped.count(), 2);
        QCOMPARE(scene.view->presses, 1);

        scene.tap.setActive(false);
        QTest::mouseClick(scene.elsewhere, Qt::LeftButton);
        QCOMPARE(scene.tapped.count(), 2);
        QCOMPARE(scene.elsewhere->presses, 1);
    }

    void placeholderKeepsItsRoomWhileHidden()
    {
        auto *view = fixedWidget({40, 20});
        auto *hint = fixedWidget({120, 30});
        PlaceholderStack stack(view, hint, Qt::AlignLeft | Qt::AlignVCenter);
        stack.setHintShown(false);
        stack.show();
        QVERIFY(!hint->isVisible());
        QCOMPARE(stack.sizeHint(), QSize(120, 30));
        stack.setHintShown(true);
        QVERIFY(hint->isVisible());
        QCOMPARE(stack.sizeHint(), QSize(120, 30));
        // Aligned leading and centred vertically, with the view in front of the hint.
        stack.resize(200, 60);
        QTRY_COMPARE(view->geometry(), QRect(0, 20, 40, 20));
        QCOMPARE(stack.childAt(5, 25), view);
    }
};

QTEST_MAIN(ViewHelpersTest)
#include "tst_viewhelpers.moc"
