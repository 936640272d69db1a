#include "ShellTestSupport.h"

#include "shell/PopoverSizes.h"
#include "shell/popovers/PlaceholderRoots.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using brelta::platform::ManualClock;
using brelta::platform::desktop::PopoverAnchor;
using brelta::platform::desktop::PopoverWindow;
using brelta::shell::PopoverKind;
using brelta::shell::Popovers;
using Behaviour = PopoverWindow::Behaviour;
using DismissReason = PopoverWindow::DismissReason;

Q_DECLARE_METATYPE(PopoverKind)
Q_DECLARE_METATYPE(std::chrono::milliseconds)

namespace {

PopoverAnchor anchorAt(int x, int y)
{
    return {PopoverAnchor::Kind::Pointer, QRect(x, y, 1, 1)};
}

} // namespace

class PopoversTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ManualClock> clock;
    std::unique_ptr<Popovers> popovers;
    // Another window of the program, to take the activation away from a popover.
    std::unique_ptr<QWidget> elsewhere;

private slots:
    void init()
    {
        clock = std::make_unique<ManualClock>();
        popovers = std::make_unique<Popovers>(clock.get());
        elsewhere = std::make_unique<QWidget>();
        elsewhere->setGeometry(40, 500, 200, 100);
    }

    void cleanup()
    {
        popovers.reset();
        elsewhere.reset();
        clock.reset();
    }

    void table_data()
    {
        QTest::addColumn<PopoverKind>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("takesFocus");
        // Zero: it never closes itself.
        QTest::addColumn<std::chrono::milliseconds>("autoClose");

        QTest::newRow("main") << PopoverKind::Main << QSize(355, 180) << true << 0ms;
        QTest::newRow("onboarding") << PopoverKind::Onboarding << QSize(355, 515) << true << 0ms;
        QTest::newRow("post-onboarding") << PopoverKind::PostOnboarding << QSize(220, 50) << false << 0ms;
        QTest::newRow("recording-ended") << PopoverKind::RecordingEnded << QSize(285, 75) << false << 3000ms;
        QTest::newRow("recording-started") << PopoverKind::RecordingStarted << QSize(235, 64) << false << 5000ms;
        QTest::newRow("recording-reminder") << PopoverKind::RecordingReminder << QSize(235, 64) << false << 5000ms;
        QTest::newRow("notification") << PopoverKind::Notification << QSize(384, 120) << false << 0ms;
        QTest::newRow("alert") << PopoverKind::Alert << QSize(285, 75) << false << 0ms;
    }

    void table()
    {
        QFETCH(PopoverKind, kind);
        QFETCH(QSize, size);
        QFETCH(bool, takesFocus);
        QFETCH(std::chrono::milliseconds, autoClose);
        PopoverWindow *window = popovers->window(kind);

        // Another window has the focus, as the user's meeting would.
        elsewhere->show();
        elsewhere->activateWindow();
        QTRY_VERIFY(elsewhere->isActiveWindow());

        popovers->show(kind, anchorAt(1000, 10));
        window->activate();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), size);
        QCOMPARE(window->geometry().top(), 10 + 1 + brelta::platform::desktop::kPopoverGap);
        QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
        if (takesFocus) {
            QTRY_VERIFY(window->isActiveWindow());
        } else {
            // A semitransient popover leaves the focus where it was.
            QTest::qWait(200);
            QVERIFY(!window->isActiveWindow());
            QVERIFY(elsewhere->isActiveWindow());
        }

        const std::chrono::milliseconds waited = autoClose > 0ms ? autoClose : 1h;
        clock->advance(waited - 1ms);
        QVERIFY(popovers->isShown(kind));
        clock->advance(1ms);
        QCOMPARE(popovers->isShown(kind), autoClose == 0ms);
    }

    // Each show restarts the close: shown at 0 s and again at 4 s, a 5 s popover closes at 9 s, not at 5 s.
    void aPopoverShownAgainStaysItsFullTime()
    {
        popovers->show(PopoverKind::RecordingStarted, anchorAt(1000, 10));
        clock->advance(4s);
        popovers->show(PopoverKind::RecordingStarted, anchorAt(1000, 10));
        clock->advance(4999ms);
        QVERIFY(popovers->isShown(PopoverKind::RecordingStarted));
        clock->advance(1ms);
        QVERIFY(!popovers->isShown(PopoverKind::RecordingStarted));
    }

    void aClosedPopoverShownLaterIsNotClosedByTheOldTimer()
    {
        popovers->show(PopoverKind::RecordingEnded, anchorAt(1000, 10));
        clock->advance(1s);
        popovers->close(PopoverKind::RecordingEnded);
        clock->advance(1s);
        popovers->show(PopoverKind::RecordingEnded, anchorAt(1000, 10));
        clock->advance(2999ms);
        QVERIFY(popovers->isShown(PopoverKind::RecordingEnded));
        clock->advance(1ms);
        QVERIFY(!popovers->isShown(PopoverKind::RecordingEnded));
    }

    void transientPopoversCloseThemselves_data()
    {
        QTest::addColumn<DismissReason>("reason");
        QTest::newRow("Escape") << DismissReason::Escape;
        QTest::newRow("lost activation") << DismissReason::LostActivation;
        QTest::newRow("a click outside") << DismissReason::OutsideClick;
    }

    void transientPopoversCloseThemselves()
    {
        QFETCH(DismissReason, reason);
        elsewhere->show();
        QVERIFY(QTest::qWaitForWindowExposed(elsewhere.get()));
        PopoverWindow *main = popovers->window(PopoverKind::Main);
        PopoverWindow *alert = popovers->window(PopoverKind::Alert);
        QSignalSpy dismissed(popovers.get(), &Popovers::dismissed);
        popovers->show(PopoverKind::Main, anchorAt(1000, 10));
        popovers->show(PopoverKind::Alert, anchorAt(300, 10));
        main->activate();
        QTRY_VERIFY(main->isActiveWindow());

        switch (reason) {
        case DismissReason::Escape:
            QTest::keyClick(main, Qt::Key_Escape);
            break;
        case DismissReason::LostActivation:
            elsewhere->activateWindow();
            break;
        case DismissReason::OutsideClick:
            QTest::mouseClick(elsewhere.get(), Qt::LeftButton, {}, QPoint(10, 10));
            break;
        }
        QTRY_VERIFY(!main->isVisible());
        QCOMPARE(dismissed.size(), 1);
        QCOMPARE(dismissed.first().at(0).value<PopoverKind>(), PopoverKind::Main);
        QCOMPARE(dismissed.first().at(1).value<DismissReason>(), reason);
        // Only transient popovers close themselves.
        QVERIFY(alert->isVisible());
    }

    // A dialog the popover opened is still the popover: its activation does not close it.
    void aDialogOfThePopoverKeepsItOpen()
    {
        PopoverWindow *main = popovers->window(PopoverKind::Main);
        popovers->show(PopoverKind::Main, anchorAt(1000, 10));
        main->activate();
        QTRY_VERIFY(main->isActiveWindow());
        QWidget dialog(main, Qt::Dialog);
        dialog.resize(100, 50);
        dialog.show();
        dialog.activateWindow();
        QTRY_VERIFY(dialog.isActiveWindow());
        QTest::qWait(100);
        QVERIFY(main->isVisible());
    }

    void resizingKeepsTheTopEdgeUnderATopPanel()
    {
        PopoverWindow *main = popovers->window(PopoverKind::Main);
        popovers->show(PopoverKind::Main, anchorAt(1000, 10));
        QVERIFY(QTest::qWaitForWindowExposed(main));
        const QRect before = main->geometry();
        popovers->setContentSize(PopoverKind::Main, QSize(355, 400));
        QTRY_COMPARE(main->geometry().size(), QSize(355, 400));
        QCOMPARE(main->geometry().topLeft(), before.topLeft());
    }

    void screenshotsOfThePlaceholders_data()
    {
        QTest::addColumn<PopoverKind>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("main") << PopoverKind::Main << "main-popover";
        QTest::newRow("onboarding") << PopoverKind::Onboarding << "onboarding-popover";
        QTest::newRow("alert") << PopoverKind::Alert << "alert-popover";
    }

    void screenshotsOfThePlaceholders()
    {
        QFETCH(PopoverKind, kind);
        QFETCH(QString, name);
        using brelta::shell::AlertRoot;
        using brelta::shell::PlaceholderRoot;
        if (kind == PopoverKind::Alert) {
            const QString title = QStringLiteral("The session was too short");
            const QString message = QStringLiteral("Please record at least 2 seconds");
            popovers->setRoot(kind, new AlertRoot(title, message));
            popovers->setContentSize(kind, QSize(285, AlertRoot::heightFor(title, message)));
        } else {
            popovers->setRoot(kind, new PlaceholderRoot(QStringLiteral("Brelta"), name));
        }
        PopoverWindow *window = popovers->window(kind);
        popovers->show(kind, anchorAt(640, 10));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(100);
        QVERIFY(brelta::testsupport::shell::saveScreenshot(window, name));
        // The popover's own pixels reached the screen: its middle is the kit's dark gradient, not the root.
        const QImage shot =
            window->screen()
                ->grabWindow(0, window->x() + window->width() / 2, window->y() + window->height() / 2, 1, 1)
                .toImage();
        const QColor middle = shot.pixelColor(0, 0);
        QVERIFY2(middle.blue() > 60 && middle.red() > 40, qPrintable(middle.name()));
    }

    // The alert popover keeps its texts as given and grows with them.
    void theAlertPopoverGrowsWithItsText()
    {
        const QString title = QStringLiteral("<b>Unable</b> to process");
        const QString message = QStringLiteral("<a href=\"https://evil.example\">Try again</a> & retry");
        brelta::shell::AlertRoot root(title, message);
        QCOMPARE(root.title(), title);
        QCOMPARE(root.message(), message);
        QVERIFY(brelta::shell::AlertRoot::heightFor(title, QString(400, QLatin1Char('x')))
                > brelta::shell::AlertRoot::heightFor(title, message));
    }
};

BRELTA_SHELL_TEST_MAIN(PopoversTest, None)
#include "tst_popovers.moc"
