#include "recording/session/AudioRecorderManager.h"

#include "SessionTestSupport.h"

#include <QTest>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using namespace brelta::testsupport;
using namespace std::chrono_literals;

namespace {

// 300 s, then every 900 s, up to and including `until`.
QList<qint64> reminderRhythm(qint64 from, qint64 until)
{
    QList<qint64> times;
    for (qint64 t = from + 300; t <= until; t += 900)
        times << t;
    return times;
}

} // namespace

// The session's timers on a hand-driven clock, with a recorder that does its work at once.
class TestRecordingSessionTimers : public QObject
{
    Q_OBJECT

private:
    AacFixtures m_fixtures;

    struct Session : ScriptedSession
    {
        qint64 stoppedAt = -1;

        explicit Session(const QString &fixture) : ScriptedSession({.fixture = fixture})
        {
            QObject::connect(manager.get(), &AudioRecorderManager::recordingStateChanged, manager.get(),
                             [this](AudioRecordingState state) {
                                 if (state == AudioRecordingState::Stopped)
                                     stoppedAt = now();
                             });
        }

        qint64 now() const { return f.clock.monotonicMs() / 1000; }
        void advanceTo(qint64 second) { f.clock.advance(std::chrono::seconds(second - now())); }
        bool succeeds(QCoro::Task<> operation) { return awaitTask(std::move(operation)).succeeded(); }
        void extend()
        {
            manager->setMaxRecordingDuration(manager->maxRecordingDuration()
                                             + AudioRecorderManager::kMaximumRecordingSeconds);
            manager->scheduleAutomaticStop();
        }
    };

private Q_SLOTS:
    void initTestCase() { QVERIFY(!m_fixtures.file(3.0).isEmpty()); }

    void remindersAndAutomaticStop_data()
    {
        QTest::addColumn<qint64>("pauseAt"); // -1: no pause
        QTest::addColumn<qint64>("resumeAt");
        QTest::addColumn<qint64>("extendAt"); // -1: no extension
        QTest::addColumn<QList<qint64>>("reminders");
        QTest::addColumn<qint64>("stopAt");

        QTest::newRow("two hours: reminders every 900 s, the final one at 7140 s, the stop at 7200 s")
            << qint64(-1) << qint64(-1) << qint64(-1) << (reminderRhythm(0, 7200) << 7140) << qint64(7200);
        QTest::newRow("one extension at 7100 s keeps the rhythm, moves the end to four hours")
            << qint64(-1) << qint64(-1) << qint64(7100) << (reminderRhythm(0, 14340) << 14340) << qint64(14400);
        // The reminder due 1200 s after the resume falls on the stop, which ends the recording first.
        QTest::newRow("paused at 6000 s: final reminder 1140 s and stop 1200 s after the resume")
            << qint64(6000) << qint64(6500) << qint64(-1) << (reminderRhythm(0, 6000) << 6800 << 6500 + 1140)
            << qint64(6500 + 1200);
        QTest::newRow("exactly 60 s left at the resume: no final reminder")
            << qint64(7140) << qint64(7500) << qint64(-1) << (reminderRhythm(0, 7140) << 7140) << qint64(7560);
        QTest::newRow("30 s left at the resume: no final reminder")
            << qint64(7170) << qint64(7500) << qint64(-1) << (reminderRhythm(0, 7170) << 7140) << qint64(7530);
    }

    void remindersAndAutomaticStop()
    {
        QFETCH(qint64, pauseAt);
        QFETCH(qint64, resumeAt);
        QFETCH(qint64, extendAt);
        QFETCH(QList<qint64>, reminders);
        QFETCH(qint64, stopAt);

        Session s(m_fixtures.file(3.0));
        QVERIFY(s.succeeds(s.manager->startRecording(RecordingPurpose::Practice)));
        QCOMPARE(s.manager->maxRecordingDuration(), 7200.0);
        if (extendAt >= 0) {
            s.advanceTo(extendAt);
            s.extend();
        }
        if (pauseAt >= 0) {
            s.advanceTo(pauseAt);
            QVERIFY(s.succeeds(s.manager->pauseRecording()));
            s.advanceTo(resumeAt);
            QCOMPARE(s.manager->recordingDuration(), pauseAt); // the pause kept the count
            QVERIFY(s.succeeds(s.manager->resumeRecording()));
        }
        s.advanceTo(30000);

        QCOMPARE(s.f.presenter.shownAt, reminders);
        QCOMPARE(s.stoppedAt, stopAt);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(s.manager->recordingDuration(), 0);
        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.f.handOff.items.first().endTime.toSecsSinceEpoch() - s.f.telemetry.clock.now().toSecsSinceEpoch(),
                 stopAt - 30000);
    }

    void extendingWhilePausedArmsTheNewLimitAtTheResume()
    {
        Session s(m_fixtures.file(3.0));
        QVERIFY(s.succeeds(s.manager->startRecording(RecordingPurpose::Practice)));
        s.advanceTo(100);
        QVERIFY(s.succeeds(s.manager->pauseRecording()));
        s.extend();
        s.advanceTo(20000);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Paused);
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>());

        QVERIFY(s.succeeds(s.manager->resumeRecording()));
        s.advanceTo(40000);
        // 14400 s in all, of which 100 s before the pause.
        QCOMPARE(s.stoppedAt, 20000 + 14400 - 100);
        QCOMPARE(s.f.presenter.shownAt, reminderRhythm(20000, 34240) << 34240);
    }

    void aStopEndsTheTimersAndTheCount()
    {
        Session s(m_fixtures.file(3.0));
        QVERIFY(s.succeeds(s.manager->startRecording(RecordingPurpose::Practice)));
        s.advanceTo(1000);
        QCOMPARE(s.manager->recordingDuration(), 1000);
        QVERIFY(s.succeeds(s.manager->stopRecording()));
        QCOMPARE(s.manager->recordingDuration(), 0);
        s.advanceTo(30000);
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>{300});
        QCOMPARE(s.manager->recordingDuration(), 0);
        QCOMPARE(s.stoppedAt, 1000);
        // The next start counts from zero again, with a fresh maximum.
        s.manager->setMaxRecordingDuration(99999);
        QVERIFY(s.succeeds(s.manager->startRecording(RecordingPurpose::Practice)));
        QCOMPARE(s.manager->maxRecordingDuration(), 7200.0);
        s.advanceTo(30005);
        QCOMPARE(s.manager->recordingDuration(), 5);
    }

    void aReminderWithoutAShellShowsNothingAndKeepsGoing()
    {
        Session s(m_fixtures.file(3.0));
        s.manager->setPresenter(nullptr);
        QVERIFY(s.succeeds(s.manager->startRecording(RecordingPurpose::Practice)));
        s.advanceTo(8000);
        QCOMPARE(s.stoppedAt, 7200);
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>());
    }
};

QTEST_GUILESS_MAIN(TestRecordingSessionTimers)
#include "tst_recordingsessiontimers.moc"
