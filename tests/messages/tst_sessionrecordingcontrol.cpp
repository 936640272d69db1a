// The recording control the message cards act through, over the real recording session with a scripted
// recorder on a hand-driven clock.

#include "messages/SessionRecordingControl.h"
#include "recording/session/SessionTestSupport.h"

#include <QSignalSpy>

using namespace brelta;
using namespace brelta::recording;
using namespace brelta::recording::testing;
using brelta::testsupport::awaitTask;
using messages::SessionRecordingControl;

class TestSessionRecordingControl : public QObject
{
    Q_OBJECT

private:
    AacFixtures m_fixtures;

    static bool succeeds(QCoro::Task<> operation) { return awaitTask(std::move(operation)).succeeded(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(!m_fixtures.file(3.0).isEmpty()); }

    void startsAPracticeRecordingAndStopsIt()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        SessionRecordingControl control(s.manager.get());
        QSignalSpy stateChanges(&control, &messages::RecordingControl::stateChanged);

        QVERIFY(succeeds(control.startPracticeRecording()));
        QCOMPARE(control.state(), AudioRecordingState::Recording);
        QCOMPARE(s.manager->recordingPurpose(), RecordingPurpose::Practice);
        QVERIFY(!s.manager->sourceParams().has_value() || s.manager->sourceParams()->isEmpty());
        QVERIFY(stateChanges.count() >= 1);

        QSignalSpy durations(&control, &messages::RecordingControl::durationChanged);
        s.f.clock.advance(std::chrono::seconds(3));
        QCOMPARE(control.recordingDuration(), qint64(3));
        QVERIFY(durations.count() >= 3);

        QVERIFY(succeeds(control.stopRecording()));
        QCOMPARE(control.state(), AudioRecordingState::Stopped);
        QTRY_COMPARE(s.f.handOff.items.size(), 1);
    }

    void aFailedStartThrowsAndStaysStopped()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0), .failStart = QStringLiteral("no microphone")});
        SessionRecordingControl control(s.manager.get());

        const auto started = awaitTask(control.startPracticeRecording());
        QVERIFY(started.finished);
        QVERIFY(!started.succeeded());
        QCOMPARE(control.state(), AudioRecordingState::Stopped);
    }

    void restartingTheReminderStartsItsIntervalAfresh()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        SessionRecordingControl control(s.manager.get());
        QVERIFY(succeeds(control.startPracticeRecording()));

        s.f.clock.advance(std::chrono::seconds(200));
        control.restartRecordingReminder();
        // The first reminder was due at 300 s; restarted at 200 s it comes at 500 s.
        s.f.clock.advance(std::chrono::seconds(250));
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>());
        s.f.clock.advance(std::chrono::seconds(50));
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>{500});
    }

    void theRecordingPopoverFlagReachesTheSession()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        SessionRecordingControl control(s.manager.get());
        control.setHasDisplayedRecordingPopover(true);
        QVERIFY(s.manager->hasDisplayedRecordingPopover());
        control.setHasDisplayedRecordingPopover(false);
        QVERIFY(!s.manager->hasDisplayedRecordingPopover());
    }

    void aSessionThatIsGoneReadsStoppedAndRefusesToStart()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        SessionRecordingControl control(s.manager.get());
        s.manager.reset();

        QCOMPARE(control.state(), AudioRecordingState::Stopped);
        QCOMPARE(control.recordingDuration(), qint64(0));
        const auto started = awaitTask(control.startPracticeRecording());
        QVERIFY(started.finished);
        QVERIFY(started.errorText().contains(QStringLiteral("gone")));
        QVERIFY(succeeds(control.stopRecording()));
        control.restartRecordingReminder();
        control.setHasDisplayedRecordingPopover(true);
    }
};

QTEST_GUILESS_MAIN(TestSessionRecordingControl)
#include "tst_sessionrecordingcontrol.moc"
