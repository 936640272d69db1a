#include "RecorderTestSupport.h"

#include "designsystem/components/MediaPill.h"
#include "designsystem/foundation/TextView.h"

using namespace brelta::testsupport::shell;
using brelta::shell::RecorderView;
using Status = brelta::shell::MicrophonePermissions::MicrophoneStatus;

Q_DECLARE_METATYPE(AudioRecordingState)
Q_DECLARE_METATYPE(Status)

namespace {

const QStringList kControls{
    QStringLiteral("recordButton"),
    QStringLiteral("allowMicrophoneButton"),
    QStringLiteral("allowSystemAudioButton"),
    QStringLiteral("stopButton"),
    QStringLiteral("pauseButton"),
    QStringLiteral("continueButton"),
    QStringLiteral("stopPausedButton"),
    QStringLiteral("durationText"),
};

QStringList visibleControls(const QWidget *view)
{
    QStringList visible;
    for (const QString &name : kControls) {
        const auto *control = view->findChild<QWidget *>(name);
        if (control && control->isVisible())
            visible << name;
    }
    return visible;
}

QAbstractButton *button(const QWidget *view, const QString &name)
{
    return view->findChild<QAbstractButton *>(name);
}

} // namespace

class RecorderViewTest : public QObject
{
    Q_OBJECT

private slots:
    void durationText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << qint64(0) << "00:00:00";
        QTest::newRow("an hour, two minutes, five seconds") << qint64(3725) << "01:02:05";
        QTest::newRow("a hundred hours") << qint64(360000) << "100:00:00";
    }

    void durationText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(RecorderView::durationText(seconds), text);
    }

    void controlsFollowStateAndPermissions_data()
    {
        QTest::addColumn<AudioRecordingState>("state");
        QTest::addColumn<Status>("microphone");
        QTest::addColumn<bool>("systemAudio");
        QTest::addColumn<QStringList>("visible");
        const auto stopped = AudioRecordingState::Stopped;
        QTest::newRow("stopped, all allowed") << stopped << Status::Authorized << true << QStringList{"recordButton"};
        QTest::newRow("stopped, microphone not asked yet")
            << stopped << Status::NotDetermined << true << QStringList{"allowMicrophoneButton"};
        QTest::newRow("stopped, microphone denied, no system audio")
            << stopped << Status::Denied << false << QStringList{"allowMicrophoneButton"};
        QTest::newRow("stopped, microphone restricted")
            << stopped << Status::Restricted << true << QStringList{"allowMicrophoneButton"};
        QTest::newRow("stopped, microphone but no system audio")
            << stopped << Status::Authorized << false << QStringList{"allowSystemAudioButton"};
        QTest::newRow("recording") << AudioRecordingState::Recording << Status::Authorized << true
                                   << QStringList{"stopButton", "pauseButton", "durationText"};
        QTest::newRow("recording, permission lost meanwhile")
            << AudioRecordingState::Recording << Status::Denied << false
            << QStringList{"stopButton", "pauseButton", "durationText"};
        QTest::newRow("paused") << AudioRecordingState::Paused << Status::Authorized << true
                                << QStringList{"continueButton", "stopPausedButton", "durationText"};
    }

    void controlsFollowStateAndPermissions()
    {
        QFETCH(AudioRecordingState, state);
        QFETCH(Status, microphone);
        QFETCH(bool, systemAudio);
        QFETCH(QStringList, visible);
        RecorderFixture f;
        f.session.setState(state);
        f.permissions.set(microphone, systemAudio);
        RecorderView view(f.dependencies());
        view.resize(323, 100);
        view.show();
        QCOMPARE(visibleControls(&view), visible);
        if (state != AudioRecordingState::Stopped) {
            f.session.setRecordingDuration(3725);
            QCOMPARE(view.findChild<brelta::designsystem::BodyView *>("durationText")->text(), "01:02:05");
        }
    }

    // Each control reports its component, then runs its own operation: stop always stops, "Continue"
    // always resumes.
    void controlsReportAndRun_data()
    {
        QTest::addColumn<AudioRecordingState>("state");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("component");
        QTest::addColumn<QString>("call");
        QTest::addColumn<AudioRecordingState>("after");
        QTest::newRow("Record") << AudioRecordingState::Stopped << "recordButton"
                                << "Start Recording Button"
                                << "start" << AudioRecordingState::Recording;
        QTest::newRow("stop while recording") << AudioRecordingState::Recording << "stopButton"
                                              << "Stop Recording Button"
                                              << "stop" << AudioRecordingState::Stopped;
        QTest::newRow("pause") << AudioRecordingState::Recording << "pauseButton"
                               << "Pause Recording Button"
                               << "pause" << AudioRecordingState::Paused;
        QTest::newRow("Continue") << AudioRecordingState::Paused << "continueButton"
                                  << "Resume Recording Button"
                                  << "resume" << AudioRecordingState::Recording;
        QTest::newRow("stop while paused") << AudioRecordingState::Paused << "stopPausedButton"
                                           << "Stop Recording Button"
                                           << "stop" << AudioRecordingState::Stopped;
    }

    void controlsReportAndRun()
    {
        QFETCH(AudioRecordingState, state);
        QFETCH(QString, control);
        QFETCH(QString, component);
        QFETCH(QString, call);
        QFETCH(AudioRecordingState, after);
        RecorderFixture f;
        f.session.stopsAtOnce = true;
        f.session.setState(state);
        RecorderView view(f.dependencies());
        view.resize(323, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mouseClick(button(&view, control), Qt::LeftButton, {}, button(&view, control)->rect().center());
        QTRY_VERIFY(!view.isBusy());
        QCOMPARE(f.session.calls, QStringList{call});
        QCOMPARE(f.session.state(), after);
        QTRY_COMPARE(f.interactions(), QStringList{component});
        QVERIFY(f.alerts.shown.isEmpty());
    }

    // A second press while the start runs does nothing: no stop right after the start, no second event.
    void aDoubleClickStartsOnce()
    {
        RecorderFixture f;
        f.session.holdOperations = true;
        RecorderView view(f.dependencies());
        view.resize(323, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractButton *record = button(&view, QStringLiteral("recordButton"));
        QTest::mouseDClick(record, Qt::LeftButton, {}, record->rect().center());
        QTest::mouseClick(record, Qt::LeftButton, {}, record->rect().center());
        QVERIFY(view.isBusy());
        f.session.release();
        QTRY_VERIFY(!view.isBusy());
        QCOMPARE(f.session.calls, QStringList{QStringLiteral("start")});
        QCOMPARE(f.session.state(), AudioRecordingState::Recording);
        QTRY_COMPARE(f.interactions(), QStringList{QStringLiteral("Start Recording Button")});
        // The stop now offered, pressed while the start was held up, is a press of its own later.
        QVERIFY(button(&view, QStringLiteral("stopButton"))->isVisible());
    }

    void aFailedStartShowsTheAlertOnce()
    {
        RecorderFixture f;
        f.session.failNext = true;
        RecorderView view(f.dependencies());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractButton *record = button(&view, QStringLiteral("recordButton"));
        QTest::mouseClick(record, Qt::LeftButton, {}, record->rect().center());
        QTRY_VERIFY(!view.isBusy());
        QCOMPARE(f.alerts.shown, QStringList{QStringLiteral("Something went wrong. Please try again|")});
        // The row shows what the session says: still stopped, and ready for another try.
        QCOMPARE(visibleControls(&view), QStringList{QStringLiteral("recordButton")});
        QTest::mouseClick(record, Qt::LeftButton, {}, record->rect().center());
        QTRY_COMPARE(f.session.state(), AudioRecordingState::Recording);
        QCOMPARE(f.alerts.shown.size(), 1);
    }

    void microphonePill_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("denied opens the sound settings")
            << Status::Denied << QStringList{QStringLiteral("openMicrophoneSettings")};
        QTest::newRow("restricted does nothing") << Status::Restricted << QStringList{};
        QTest::newRow("not asked yet asks") << Status::NotDetermined << QStringList{QStringLiteral("request")};
    }

    void microphonePill()
    {
        QFETCH(Status, status);
        QFETCH(QStringList, calls);
        RecorderFixture f;
        f.permissions.set(status, true);
        RecorderView view(f.dependencies());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractButton *pill = button(&view, QStringLiteral("allowMicrophoneButton"));
        QTest::mouseClick(pill, Qt::LeftButton, {}, pill->rect().center());
        QCOMPARE(f.permissions.calls, calls);
        QTRY_COMPARE(f.interactions(), QStringList{QStringLiteral("Allow Microphone Permission")});
        QCOMPARE(f.mainPopoverShown, 0);
    }

    void aRefusedPromptReopensTheMainPopover_data()
    {
        QTest::addColumn<bool>("granted");
        QTest::addColumn<int>("reopened");
        QTest::addColumn<QString>("offered");
        QTest::newRow("granted") << true << 0 << "recordButton";
        QTest::newRow("refused") << false << 1 << "allowMicrophoneButton";
    }

    void aRefusedPromptReopensTheMainPopover()
    {
        QFETCH(bool, granted);
        QFETCH(int, reopened);
        QFETCH(QString, offered);
        RecorderFixture f;
        f.permissions.set(Status::NotDetermined, true);
        RecorderView view(f.dependencies());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractButton *pill = button(&view, QStringLiteral("allowMicrophoneButton"));
        QTest::mouseClick(pill, Qt::LeftButton, {}, pill->rect().center());
        f.permissions.answer(granted);
        QTRY_COMPARE(visibleControls(&view), QStringList{offered});
        QTRY_COMPARE(f.mainPopoverShown, reopened);
    }

    void systemAudioPillProbesThenOpensSettings()
    {
        RecorderFixture f;
        f.permissions.set(Status::Authorized, false);
        RecorderView view(f.dependencies());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QAbstractButton *pill = button(&view, QStringLiteral("allowSystemAudioButton"));
        QTest::mouseClick(pill, Qt::LeftButton, {}, pill->rect().center());
        QCOMPARE(f.permissions.calls,
                 (QStringList{QStringLiteral("refreshSystemAudio"), QStringLiteral("openSystemAudioSettings")}));
        QTRY_COMPARE(f.interactions(), QStringList{QStringLiteral("Allow SystemAudio Permmission")});
        f.permissions.set(Status::Authorized, true);
        QCOMPARE(visibleControls(&view), QStringList{QStringLiteral("recordButton")});
    }
};

BRELTA_SHELL_TEST_MAIN(RecorderViewTest, None)
#include "tst_recorderview.moc"
