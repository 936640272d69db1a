#include "Rendering.h"

#include "designsystem/components/BrandButton.h"
#include "designsystem/components/LoaderView.h"

#include <QAccessible>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>

using namespace brelta::designsystem;

// A tray program's popovers are hidden most of the time: nothing in them may keep a timer running.
class LoaderViewTest : public QObject
{
    Q_OBJECT

private slots:
    void spinsOnlyWhileShown()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *loader = new LoaderView;
        layout->addWidget(loader);
        QCOMPARE(loader->size(), QSize(32, 32));
        QVERIFY(!loader->isSpinning());

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(loader->isSpinning());
        // It turns: two looks a moment apart differ.
        const QImage first = rendering::render(loader);
        QTest::qWait(120);
        QVERIFY(rendering::render(loader) != first);

        // Hiding the window (as a popover closes) stops it; showing it again restarts it.
        window.hide();
        QVERIFY(!loader->isSpinning());
        window.show();
        QVERIFY(loader->isSpinning());
        loader->hide();
        QVERIFY(!loader->isSpinning());
    }

    void stopsOnAHiddenPage()
    {
        QStackedWidget pages;
        auto *loader = new LoaderView;
        pages.addWidget(loader);
        pages.addWidget(new QWidget);
        pages.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pages));
        QVERIFY(loader->isSpinning());
        pages.setCurrentIndex(1);
        QVERIFY(!loader->isSpinning());
    }

    void buttonSpinsOnlyWhileLoadingAndShown()
    {
        QWidget window;
        auto *button = new BrandButton(QStringLiteral("Save"), std::nullopt, BrandButton::Type::Primary,
                                       BrandButton::Shape::Pill, BrandButton::Size::Medium, &window);
        button->setLoading(true);
        QVERIFY(!button->isSpinning());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(button->isSpinning());
        window.hide();
        QVERIFY(!button->isSpinning());
        window.show();
        QVERIFY(button->isSpinning());
        button->setLoading(false);
        QVERIFY(!button->isSpinning());
    }

    void tellsAssistiveTechnologyItIsBusy()
    {
        LoaderView loader;
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(&loader);
        QVERIFY(access);
        QCOMPARE(access->role(), QAccessible::ProgressBar);
        QVERIFY(access->state().busy);
        QCOMPARE(access->text(QAccessible::Name), QStringLiteral("Loading"));
    }
};

QTEST_MAIN(LoaderViewTest)
#include "tst_loaderview.moc"
