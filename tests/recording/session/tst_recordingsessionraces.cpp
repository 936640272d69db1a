#include "recording/session/AudioRecorderManager.h"

#include "SessionTestSupport.h"

#include <QTest>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using namespace brelta::testsupport;
using namespace std::chrono_literals;
namespace settings = brelta::platform::settings;

namespace {

// Records its operation's outcome in `result` ("ok" or the error text) when it ends.
QCoro::Task<> keepOutcome(QCoro::Task<> operation, std::shared_ptr<QString> result)
{
    try {
        co_await std::move(operation);
        *result = QStringLiteral("ok");
    } catch (const std::exception &error) {
        *result = QString::fromUtf8(error.what());
    }
}

// Starts `operation` without waiting for it, so a test can start operations that wait for each other; the
// outcome lands in the returned text once it ends.
std::shared_ptr<QString> runAlone(QCoro::Task<> operation)
{
    auto result = std::make_shared<QString>();
    keepOutcome(std::move(operation), result);
    return result;
}

// Whether the recorder behind `recorder` still existed the moment `operation` returned to its caller.
QCoro::Task<bool> aliveWhenDone(QCoro::Task<> operation, QPointer<ScriptedRecorder> recorder)
{
    co_await std::move(operation);
    co_return !recorder.isNull();
}

} // namespace

// Operations and failures that overlap: each acts only on its own recording.
class TestRecordingSessionRaces : public QObject
{
    Q_OBJECT

private:
    AacFixtures m_fixtures;

    ScriptedRecorder::Script holding(const QString &operation)
    {
        return {.fixture = m_fixtures.file(3.0), .hold = operation};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(!m_fixtures.file(3.0).isEmpty()); }

    void aStartDuringAHeldStopRunsOnceTheStopHasHandedItsFileOver()
    {
        ScriptedSession s(holding(QStringLiteral("stop")));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        ScriptedRecorder *first = s.recorder(0);
        const QString firstFile = first->outputPath();

        const auto stopped = runAlone(s.manager->stopRecording());
        const auto started = runAlone(s.manager->startRecording(RecordingPurpose::Practice));
        const auto refused = runAlone(s.manager->startRecording(RecordingPurpose::Practice));
        QTRY_VERIFY(first->isHeld());
        QTest::qWait(50);
        // The start waits: no second recorder, and the stopping recording's state is what the screens see.
        QCOMPARE(s.scripted.made.size(), 1);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Stopped);
        QVERIFY(started->isEmpty());

        first->release();
        QTRY_COMPARE(*stopped, QStringLiteral("ok"));
        QTRY_COMPARE(*started, QStringLiteral("ok"));
        QTRY_COMPARE(*refused, QStringLiteral("Cannot start: recording state: recording"));
        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.f.handOff.items.first().filePath, firstFile);

        // The new recording has its own recorder, file and timers, which the first stop left alone.
        QCOMPARE(s.scripted.made.size(), 2);
        ScriptedRecorder *second = s.recorder(1);
        QVERIFY(second);
        QVERIFY(second->outputPath() != firstFile);
        QCOMPARE(second->recordingState(), AudioRecordingState::Recording);
        QCOMPARE(s.manager->recordingFilePath(), second->outputPath());
        s.f.clock.advance(300s);
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>{300});
        QCOMPARE(s.manager->recordingDuration(), 300);
    }

    void aLateFailureOfThePreviousRecorderLeavesTheNextRecordingAlone()
    {
        ScriptedSession s(holding({}));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        ScriptedRecorder *first = s.recorder(0);

        // The first recorder fails on its own; before its failure is acted on, the user stops and starts again.
        first->failOnItsOwn(QStringLiteral("the microphone went away"));
        const auto stopped = runAlone(s.manager->stopRecording());
        const auto started = runAlone(s.manager->startRecording(RecordingPurpose::Practice));
        QTRY_COMPARE(*started, QStringLiteral("ok"));
        QCOMPARE(*stopped, QStringLiteral("ok"));
        QTest::qWait(100);

        ScriptedRecorder *second = s.recorder(1);
        QVERIFY(second);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Recording);
        QCOMPARE(second->calls(), QStringList{QStringLiteral("start")});
        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.f.deliveredEvents(),
                 (QStringList{QStringLiteral("Recording Start Succeeded"), QStringLiteral("Recording End Succeeded"),
                              QStringLiteral("Recording Start Succeeded")}));
    }

    void aFailureOfTheCurrentRecorderStopsAndKeepsItsRecording()
    {
        ScriptedSession s(holding({}));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        ScriptedRecorder *recorder = s.recorder(0);

        recorder->failOnItsOwn(QStringLiteral("the disk is full"));
        // Acted on later, from the event loop, not inside the recorder's call.
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Recording);
        QTRY_COMPARE(s.manager->recordingState(), AudioRecordingState::Stopped);
        QTRY_COMPARE(s.f.handOff.items.size(), 1);
        // It already read stopped, so it was not asked to stop again.
        QCOMPARE(s.scripted.made.size(), 1);
        QTRY_VERIFY(s.f.reportedErrors().contains(QStringLiteral("the disk is full")));
        QCOMPARE(s.f.deliveredEvents(),
                 (QStringList{QStringLiteral("Recording Start Succeeded"), QStringLiteral("Recording End Succeeded")}));
    }

    void aSignOutDuringAStopKeepsTheOwner()
    {
        ScriptedSession s(holding(QStringLiteral("stop")));
        QVERIFY(s.f.settings.setText(settings::kUsername, QStringLiteral("ada@example.com")));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());

        const auto stopped = runAlone(s.manager->stopRecording());
        QTRY_VERIFY(s.recorder(0)->isHeld());
        QVERIFY(s.f.settings.setText(settings::kUsername, QString())); // the shell signs out meanwhile
        s.recorder(0)->release();
        QTRY_COMPARE(*stopped, QStringLiteral("ok"));

        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.f.handOff.items.first().owner, QStringLiteral("ada@example.com"));
    }

    void aPausedRecordingThatOutlivesASignOutStaysWithItsOwner()
    {
        ScriptedSession s(holding({}));
        QVERIFY(s.f.settings.setText(settings::kUsername, QStringLiteral("ada@example.com")));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        QVERIFY(awaitTask(s.manager->pauseRecording()).succeeded());
        // Signed out and in again as someone else while the recording was paused.
        QVERIFY(s.f.settings.setText(settings::kUsername, QStringLiteral("grace@example.com")));
        QVERIFY(awaitTask(s.manager->resumeRecording()).succeeded());
        QVERIFY(awaitTask(s.manager->stopRecording()).succeeded());

        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.f.handOff.items.first().owner, QStringLiteral("ada@example.com"));
    }

    void anAutomaticStopThatWaitedItsTurnLeavesTheNextRecordingAlone()
    {
        ScriptedSession s(holding(QStringLiteral("pause")));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        s.f.clock.advance(7199s);
        // A slow pause a second before the limit; meanwhile the user stops and starts again, and then the limit
        // passes: the automatic stop of the first recording is asked for after the new start.
        const auto paused = runAlone(s.manager->pauseRecording());
        QTRY_VERIFY(s.recorder(0)->isHeld());
        const auto stopped = runAlone(s.manager->stopRecording());
        const auto started = runAlone(s.manager->startRecording(RecordingPurpose::Practice));
        s.f.clock.advance(1s);
        s.recorder(0)->release();
        QTRY_COMPARE(*started, QStringLiteral("ok"));
        QTest::qWait(100);

        QCOMPARE(*paused, QStringLiteral("ok"));
        QCOMPARE(*stopped, QStringLiteral("ok"));
        QCOMPARE(s.f.handOff.items.size(), 1);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Recording);
        QVERIFY(s.recorder(1));
        QCOMPARE(s.recorder(1)->calls(), QStringList{QStringLiteral("start")});
    }

    void aStartThatFailsLeavesNoTimerBehind()
    {
        ScriptedRecorder::Script script = holding(QStringLiteral("start"));
        script.failStart = QStringLiteral("the microphone is busy");
        ScriptedSession s(script);
        const auto started = runAlone(s.manager->startRecording(RecordingPurpose::Practice));
        QTRY_VERIFY(s.recorder(0) && s.recorder(0)->isHeld());
        // The meeting-end card and the extend action act on what reads as recording.
        s.manager->scheduleRecordingReminder();
        s.manager->scheduleAutomaticStop();
        s.recorder(0)->release();
        QTRY_COMPARE(*started, QStringLiteral("the microphone is busy"));

        s.f.clock.advance(8000s);
        QCOMPARE(s.f.presenter.shownAt, QList<qint64>());
        QCOMPARE(s.manager->recordingDuration(), 0);
    }

    void aRecorderIsReleasedOnlyAfterItsOperationHasReturned()
    {
        ScriptedSession s(holding(QStringLiteral("stop")));
        QVERIFY(awaitTask(s.manager->startRecording(RecordingPurpose::Practice)).succeeded());
        const QPointer<ScriptedRecorder> recorder = s.recorder(0);

        auto stopping = std::make_shared<Awaited<bool>>();
        QTimer::singleShot(50, recorder.data(), &ScriptedRecorder::release);
        *stopping = awaitTask(aliveWhenDone(s.manager->stopRecording(), recorder));
        QVERIFY(stopping->succeeded());
        QVERIFY(*stopping->value);      // still there when the stop returned
        QTRY_VERIFY(recorder.isNull()); // and released from the event loop afterwards
    }
};

QTEST_GUILESS_MAIN(TestRecordingSessionRaces)
#include "tst_recordingsessionraces.moc"
