#include "Rendering.h"

#include "designsystem/components/BrandToggle.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

using namespace brelta::designsystem;

namespace {
// The knob: the Gray100 pixels inside the track.
QRect knobIn(const QImage &image, const QRect &track)
{
    QRect knob;
    for (int y = track.top(); y <= track.bottom(); ++y)
        for (int x = track.left(); x <= track.right(); ++x) {
            const QColor c = rendering::at(image, x, y);
            if (c.alpha() > 200 && c.red() > 230 && c.green() > 230)
                knob |= QRect(x, y, 1, 1);
        }
    return knob;
}

struct Window
{
    QWidget window;
    BrandToggle *toggle;

    explicit Window(const QString &title, bool on = false)
    {
        auto *layout = new QHBoxLayout(&window);
        toggle = new BrandToggle(title, on);
        layout->addWidget(toggle);
        window.resize(300, 60);
        window.show();
    }
};
} // namespace

class BrandToggleTest : public QObject
{
    Q_OBJECT

private slots:
    void tapTellsTheComingValueThenFlips_data()
    {
        QTest::addColumn<bool>("initially");
        QTest::newRow("off to on") << false;
        QTest::newRow("on to off") << true;
    }

    void tapTellsTheComingValueThenFlips()
    {
        QFETCH(bool, initially);
        Window scene(QStringLiteral("Only listen to my voice"), initially);
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        BrandToggle *toggle = scene.toggle;
        QStringList events;
        connect(toggle, &BrandToggle::aboutToToggle, this, [&](bool coming) {
            events << QStringLiteral("about to %1 while %2").arg(coming).arg(toggle->isChecked());
        });
        connect(toggle, &QAbstractButton::toggled, this,
                [&](bool now) { events << QStringLiteral("toggled %1").arg(now); });

        QTest::mouseClick(toggle, Qt::LeftButton, {}, toggle->trackRect().center());
        const bool coming = !initially;
        QCOMPARE(events, QStringList({QStringLiteral("about to %1 while %2").arg(coming).arg(initially),
                                      QStringLiteral("toggled %1").arg(coming)}));
        QCOMPARE(toggle->isChecked(), coming);
        // The knob slides over 0.15 s to its new end.
        QVERIFY(toggle->isAnimating());
        QTRY_COMPARE(toggle->knobPosition(), coming ? 1.0 : 0.0);
        QVERIFY(!toggle->isAnimating());
    }

    void tapOnTheTitleDoesNothing()
    {
        Window scene(QStringLiteral("Remind me before meetings"));
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        BrandToggle *toggle = scene.toggle;
        // With a title the switch spreads over the width it is offered, the track at its trailing end.
        QVERIFY(toggle->width() > 200);
        QCOMPARE(toggle->trackRect().right(), toggle->width() - 1);
        QSignalSpy about(toggle, &BrandToggle::aboutToToggle);
        QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(10, toggle->height() / 2));
        QTest::mouseClick(toggle, Qt::LeftButton, {}, QPoint(toggle->trackRect().left() - 4, toggle->height() / 2));
        QCOMPARE(about.count(), 0);
        QVERIFY(!toggle->isChecked());
    }

    void disabledIsDimmedAndIgnoresTaps()
    {
        Window scene({}, false);
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        BrandToggle *toggle = scene.toggle;
        const QColor enabledTrack = rendering::at(rendering::render(toggle), 30, 10);
        toggle->setEnabled(false);
        QSignalSpy about(toggle, &BrandToggle::aboutToToggle);
        QTest::mouseClick(toggle, Qt::LeftButton, {}, toggle->trackRect().center());
        toggle->setFocus(Qt::TabFocusReason);
        QTest::keyClick(toggle, Qt::Key_Space);
        QCOMPARE(about.count(), 0);
        QVERIFY(!toggle->isChecked());
        // Drawn at 40 %.
        const QColor dimmed = rendering::at(rendering::render(toggle), 30, 10);
        QCOMPARE(enabledTrack.alpha(), 255);
        QVERIFY2(std::abs(dimmed.alpha() - 102) <= 3, qPrintable(rendering::describe(dimmed)));
    }

    void knobAndTrackFollowTheValue_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("knobLeft");
        QTest::newRow("off: grey, knob 2 to 18") << false << 2;
        QTest::newRow("on: gradient, knob 18 to 34") << true << 18;
    }

    void knobAndTrackFollowTheValue()
    {
        QFETCH(bool, on);
        QFETCH(int, knobLeft);
        BrandToggle toggle({}, on);
        QCOMPARE(toggle.sizeHint(), QSize(36, 20));
        toggle.resize(36, 20);
        const QImage image = rendering::render(&toggle);
        const QRect knob = knobIn(image, QRect(0, 0, 36, 20));
        // The knob's solid core lies within its 16 px circle (the rim is antialiased).
        QVERIFY2(
            knob.left() >= knobLeft && knob.left() <= knobLeft + 1 && knob.right() <= knobLeft + 15
                && knob.right() >= knobLeft + 14 && knob.top() >= 2 && knob.bottom() <= 17,
            qPrintable(
                QStringLiteral("knob %1,%2 %3x%4").arg(knob.x()).arg(knob.y()).arg(knob.width()).arg(knob.height())));
        // The track away from the knob: Gray400 when off, the purple gradient when on.
        const QColor track = rendering::at(image, on ? 8 : 28, 10);
        if (on)
            QVERIFY2(track.blue() > 200 && track.green() < 110, qPrintable(rendering::describe(track)));
        else
            QVERIFY2(std::abs(track.red() - track.blue()) < 30 && track.green() > 140,
                     qPrintable(rendering::describe(track)));
    }

    void callerChangesShowAtOnce()
    {
        Window scene({});
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window));
        QSignalSpy about(scene.toggle, &BrandToggle::aboutToToggle);
        scene.toggle->setChecked(true);
        QCOMPARE(scene.toggle->knobPosition(), 1.0);
        QVERIFY(!scene.toggle->isAnimating());
        QCOMPARE(about.count(), 0);
    }

    void aHiddenToggleFlipsWithoutAnimating()
    {
        BrandToggle toggle;
        toggle.click();
        QVERIFY(toggle.isChecked());
        QVERIFY(!toggle.isAnimating());
        QCOMPARE(toggle.knobPosition(), 1.0);
    }

    void keyboardAndAccessibility()
    {
        Window scene(QStringLiteral("Only listen to my voice"));
        QVERIFY(QTest::qWaitForWindowActive(&scene.window));
        BrandToggle *toggle = scene.toggle;
        toggle->setFocus(Qt::TabFocusReason);
        QTest::keyClick(toggle, Qt::Key_Space);
        QVERIFY(toggle->isChecked());
        QTest::keyClick(toggle, Qt::Key_Return);
        QVERIFY(!toggle->isChecked());

        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(toggle);
        QCOMPARE(access->role(), QAccessible::CheckBox);
        QCOMPARE(access->text(QAccessible::Name), QStringLiteral("Only listen to my voice"));
        QVERIFY(access->state().checkable);
        QVERIFY(!access->state().checked);
        access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(toggle->isChecked());
        QVERIFY(access->state().checked);
    }
};

QTEST_MAIN(BrandToggleTest)
#include "tst_brandtoggle.moc"
