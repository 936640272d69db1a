#include "ShellTestSupport.h"

#include "designsystem/foundation/Typography.h"
#include "shell/MainViewViewModel.h"
#include "shell/popovers/PlaceholderRoots.h"
#include "shell/popovers/RecordingPopovers.h"

#include <QAbstractButton>

using namespace brelta::testsupport::shell;
using brelta::shell::AlertRoot;
using brelta::shell::RecordingReminderRoot;
using brelta::shell::RecordingStartedRoot;
using namespace std::chrono_literals;

namespace {

qreal measured(const QString &text, const QString &font, brelta::designsystem::BodySize size)
{
    return brelta::designsystem::Typography::measureText(brelta::designsystem::TypographyType::Body, text, font, size,
                                                         300 - 52, 1e6)
        .height();
}

} // namespace

class RecordingPopoversTest : public QObject
{
    Q_OBJECT

private slots:
    void minutesLeft_data()
    {
        QTest::addColumn<int>("recordedMinutes");
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("extendRow");
        QTest::addColumn<QString>("text");
        QTest::newRow("5 of 120") << 5 << 115 << false << "115 minutes left";
        QTest::newRow("104 of 120") << 104 << 16 << false << "16 minutes left";
        QTest::newRow("105 of 120") << 105 << 15 << true << "15 minutes left";
        QTest::newRow("119 of 120") << 119 << 1 << true << "1 minute left";
        QTest::newRow("125 of 120") << 125 << 1 << true << "1 minute left";
    }

    void minutesLeft()
    {
        QFETCH(int, recordedMinutes);
        QFETCH(int, left);
        QFETCH(bool, extendRow);
        QFETCH(QString, text);
        QCOMPARE(RecordingReminderRoot::minutesLeft(7200, recordedMinutes * 60 + 59), left);
        FakeRecordingSession session;
        session.setRecordingDuration(recordedMinutes * 60);
        RecordingReminderRoot root(&session, [] {});
        QCOMPARE(root.isExtendRowShown(), extendRow);
        QCOMPARE(root.minutesText(), text);
    }

    void alertHeight_data()
    {
        using brelta::designsystem::BodySize;
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qreal>("height");
        const QString title = QStringLiteral("Something went wrong. Please try again");
        const QString message = QStringLiteral("The session was too short to keep; please record a little longer.");
        QTest::newRow("nothing") << QString() << QString() << qreal(34);
        QTest::newRow("title alone") << title << QString() << 34 + measured(title, "Inter-Bold", BodySize::Medium);
        QTest::newRow("message alone, regular 12")
            << QString() << message << 34 + measured(message, "Inter", BodySize::Small);
        QTest::newRow("both") << title << message
                              << 34 + measured(title, "Inter-Bold", BodySize::Medium)
                                     + measured(message, "Inter", BodySize::Small);
    }

    void alertHeight()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(qreal, height);
        QCOMPARE(AlertRoot::height(title, message, 300), height);
        QVERIFY(height == 34 || height > 34 + 10);
    }

    // With the stored privacy switch on (or never written) only the notice shows; off, the warning too.
    void startedWarningFollowsPrivacyControl()
    {
        ShellFixture f;
        RecordingStartedRoot root(&f.settings, [] {});
        QVERIFY(!root.isWarningShown());
        f.settings.setValue(brelta::platform::settings::kUseWebViewRecorderNewest, false);
        root.refresh();
        QVERIFY(root.isWarningShown());
    }

    // "Go to settings": the settings panel at once, this popover closed, the main popover half a second later.
    void goToSettingsOpensTheSettingsPanel()
    {
        ShellFixture f;
        f.settings.setValue(brelta::platform::settings::kUseWebViewRecorderNewest, false);
        f.storeSignedInUser();
        AppDelegate &delegate = f.makeDelegate();
        QVERIFY(f.launchAndWaitForServices());
        delegate.showRecordingStartedPopover();
        auto *root =
            qobject_cast<RecordingStartedRoot *>(delegate.popovers()->window(PopoverKind::RecordingStarted)->root());
        QVERIFY(root && root->isWarningShown());
        QVERIFY(QTest::qWaitForWindowExposed(delegate.popovers()->window(PopoverKind::RecordingStarted)));
        QVERIFY(saveScreenshot(delegate.popovers()->window(PopoverKind::RecordingStarted),
                               QStringLiteral("recording-started-warning")));
        auto *button = root->findChild<QAbstractButton *>(QStringLiteral("goToSettingsButton"));
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        QCOMPARE(delegate.mainViewModel()->currentMode(), brelta::shell::MainViewMode::Settings);
        QCOMPARE(delegate.popovers()->window(PopoverKind::Main)->contentSize(), QSize(355, 400));
        QVERIFY(!f.shown(PopoverKind::RecordingStarted));
        QVERIFY(!f.shown(PopoverKind::Main));
        f.clock.advance(499ms);
        QVERIFY(!f.shown(PopoverKind::Main));
        f.clock.advance(1ms);
        QVERIFY(f.shown(PopoverKind::Main));
    }

    void extendCloseThenLengthensTwice()
    {
        FakeRecordingSession session;
        session.setRecordingDuration(110 * 60);
        int closed = 0;
        RecordingReminderRoot root(&session, [&closed] { ++closed; });
        QCOMPARE(root.minutesText(), QStringLiteral("10 minutes left"));
        auto *extend = root.findChild<QAbstractButton *>(QStringLiteral("extendButton"));
        root.show();
        QTest::mouseClick(extend, Qt::LeftButton, {}, extend->rect().center());
        QCOMPARE(closed, 1);
        QCOMPARE(session.maxRecordingDuration(), 14400.0);
        QVERIFY(!root.isExtendRowShown());
        root.refresh();
        extend->click();
        QCOMPARE(session.maxRecordingDuration(), 21600.0);
        QCOMPARE(session.calls,
                 (QStringList{"max 14400", "scheduleAutomaticStop", "max 21600", "scheduleAutomaticStop"}));
    }

    void hintClosesOnTapOrAfterThreeSeconds()
    {
        brelta::platform::ManualClock clock;
        int closed = 0;
        brelta::shell::PostOnboardingRoot hint(&clock, [&closed] { ++closed; });
        hint.resize(220, 50);
        hint.show();
        clock.advance(2999ms);
        QCOMPARE(closed, 0);
        clock.advance(1ms);
        QCOMPARE(closed, 1);
        hint.hide();
        hint.show();
        QTest::mouseClick(&hint, Qt::LeftButton);
        QCOMPARE(closed, 2);
    }

    void screenshots()
    {
        ShellFixture f;
        f.storeSignedInUser();
        AppDelegate &delegate = f.makeDelegate();
        QVERIFY(f.launchAndWaitForServices());
        delegate.showRecordingStartedPopover();
        QVERIFY(QTest::qWaitForWindowExposed(delegate.popovers()->window(PopoverKind::RecordingStarted)));
        QTest::qWait(100);
        QVERIFY(saveScreenshot(delegate.popovers()->window(PopoverKind::RecordingStarted),
                               QStringLiteral("recording-started")));
        f.recording.setState(AudioRecordingState::Recording);
        f.recording.setRecordingDuration(115 * 60);
        delegate.showRecordingReminderPopover();
        QVERIFY(QTest::qWaitForWindowExposed(delegate.popovers()->window(PopoverKind::RecordingReminder)));
        QTest::qWait(100);
        QVERIFY(saveScreenshot(delegate.popovers()->window(PopoverKind::RecordingReminder),
                               QStringLiteral("reminder-extend")));
        delegate.showRecordingEndedPopover();
        QVERIFY(QTest::qWaitForWindowExposed(delegate.popovers()->window(PopoverKind::RecordingEnded)));
        QTest::qWait(100);
        QVERIFY(saveScreenshot(delegate.popovers()->window(PopoverKind::RecordingEnded),
                               QStringLiteral("recording-ended")));
        delegate.showAlert(QStringLiteral("Something went wrong. Please try again"),
                           QStringLiteral("The session was too short to keep."));
        QVERIFY(QTest::qWaitForWindowExposed(delegate.popovers()->window(PopoverKind::Alert)));
        QTest::qWait(100);
        QVERIFY(saveScreenshot(delegate.popovers()->window(PopoverKind::Alert), QStringLiteral("alert")));
    }
};

BRELTA_SHELL_TEST_MAIN(RecordingPopoversTest, None)
#include "tst_recordingpopovers.moc"
