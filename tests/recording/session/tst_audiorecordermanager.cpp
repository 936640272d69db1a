#include "recording/session/AudioRecorderManager.h"

#include "SessionTestSupport.h"
#include "recording/recorders/SimpleAudioRecorder.h"
#include "recording/session/RecordingsDirectory.h"
#include "testsupport/AudioFixtures.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace brelta::recording;
using namespace brelta::recording::testing;
using namespace brelta::testsupport;
using namespace std::chrono_literals;
namespace settings = brelta::platform::settings;

namespace {

QString outcome(const Awaited<void> &done)
{
    if (!done.finished)
        return QStringLiteral("did not finish");
    return done.succeeded() ? QStringLiteral("ok") : done.errorText();
}

// How many delegate calls there were the moment `operation` returned to its caller.
QCoro::Task<qsizetype> delegateCallsWhenDone(QCoro::Task<> operation, DelegateSpy *delegate)
{
    co_await std::move(operation);
    co_return delegate->calls.size();
}

QString errorMessageOf(const nlohmann::json &properties)
{
    if (!properties.is_object() || !properties.contains("error_message") || properties.at("error_message").is_null())
        return QStringLiteral("-");
    return jsonText(properties.at("error_message"));
}

} // namespace

class TestAudioRecorderManager : public QObject
{
    Q_OBJECT

private:
    AacFixtures m_fixtures;

    static Awaited<void> run(AudioRecorderManager &session, const QString &operation)
    {
        if (operation == QLatin1String("start"))
            return awaitTask(session.startRecording(RecordingPurpose::Practice), 20s);
        if (operation == QLatin1String("pause"))
            return awaitTask(session.pauseRecording(), 20s);
        if (operation == QLatin1String("resume"))
            return awaitTask(session.resumeRecording(), 20s);
        if (operation == QLatin1String("stop"))
            return awaitTask(session.stopRecording(), 30s);
        // The reminder popover's extend action.
        session.setMaxRecordingDuration(session.maxRecordingDuration()
                                        + AudioRecorderManager::kMaximumRecordingSeconds);
        session.scheduleAutomaticStop();
        Awaited<void> done;
        done.finished = true;
        done.value.emplace();
        return done;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(!m_fixtures.file(3.0).isEmpty()); }

    void stateTable_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("failing"); // the scripted recorder's operation that throws; empty: the microphone
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("events");   // every event of the row, reaching `from` included
        QTest::addColumn<QString>("errorMessage"); // of the last event; "-" when it has none

        const QString ok = QStringLiteral("ok");
        const QString started = QStringLiteral("Recording Start Succeeded");
        const QString paused = QStringLiteral("Recording Pause Succeeded");
        const QStringList none;

        QTest::newRow("stopped: start") << "stopped"
                                        << "start"
                                        << "" << ok << "recording" << QStringList{started} << "-";
        QTest::newRow("stopped: pause is refused")
            << "stopped"
            << "pause"
            << ""
            << "Cannot pause: recording state: stopped"
            << "stopped" << QStringList{"Recording Pause Failed"} << "Cannot pause: recording state: stopped";
        QTest::newRow("stopped: resume is refused") << "stopped"
                                                    << "resume"
                                                    << ""
                                                    << "Cannot resume: recording state: stopped"
                                                    << "stopped" << QStringList{"Recording Resume Failed"} << "-";
        QTest::newRow("stopped: stop is refused")
            << "stopped"
            << "stop"
            << ""
            << "Cannot stop: recording state: stopped"
            << "stopped" << QStringList{"Recording End Failed"} << "Cannot stop: recording state: stopped";
        QTest::newRow("stopped: extend only raises the limit") << "stopped"
                                                               << "extend"
                                                               << "" << ok << "stopped" << none << "-";

        QTest::newRow("recording: start is refused")
            << "recording"
            << "start"
            << ""
            << "Cannot start: recording state: recording"
            << "recording" << QStringList{started, "Recording Start Failed"} << "-";
        QTest::newRow("recording: pause") << "recording"
                                          << "pause"
                                          << "" << ok << "paused" << QStringList{started, paused} << "-";
        QTest::newRow("recording: resume is refused")
            << "recording"
            << "resume"
            << ""
            << "Cannot resume: recording state: recording"
            << "recording" << QStringList{started, "Recording Resume Failed"} << "-";
        QTest::newRow("recording: stop") << "recording"
                                         << "stop"
                                         << "" << ok << "stopped" << QStringList{started, "Recording End Succeeded"}
                                         << "-";
        QTest::newRow("recording: extend moves the automatic stop")
            << "recording"
            << "extend"
            << "" << ok << "recording" << QStringList{started} << "-";

        QTest::newRow("paused: start is refused")
            << "paused"
            << "start"
            << ""
            << "Cannot start: recording state: paused"
            << "paused" << QStringList{started, paused, "Recording Start Failed"} << "-";
        QTest::newRow("paused: pause is refused") << "paused"
                                                  << "pause"
                                                  << ""
                                                  << "Cannot pause: recording state: paused"
                                                  << "paused" << QStringList{started, paused, "Recording Pause Failed"}
                                                  << "Cannot pause: recording state: paused";
        QTest::newRow("paused: resume") << "paused"
                                        << "resume"
                                        << "" << ok << "recording"
                                        << QStringList{started, paused, "Recording Resume Succeeded"} << "-";
        QTest::newRow("paused: stop") << "paused"
                                      << "stop"
                                      << "" << ok << "stopped"
                                      << QStringList{started, paused, "Recording End Succeeded"} << "-";
        QTest::newRow("paused: extend arms nothing") << "paused"
                                                     << "extend"
                                                     << "" << ok << "paused" << QStringList{started, paused} << "-";

        QTest::newRow("the recorder cannot start") << "stopped"
                                                   << "start"
                                                   << "start"
                                                   << "scripted start failure"
                                                   << "stopped" << QStringList{"Recording Start Failed"} << "-";
        QTest::newRow("the recorder cannot pause")
            << "recording"
            << "pause"
            << "pause"
            << "scripted pause failure"
            << "recording" << QStringList{started, "Recording Pause Failed"} << "scripted pause failure";
        QTest::newRow("the recorder cannot resume")
            << "paused"
            << "resume"
            << "resume"
            << "scripted resume failure"
            << "paused" << QStringList{started, paused, "Recording Resume Failed"} << "-";
        QTest::newRow("a failed recorder stop still processes the file")
            << "recording"
            << "stop"
            << "stop" << ok << "stopped" << QStringList{started, "Recording End Succeeded"} << "-";
    }

    void stateTable()
    {
        QFETCH(QString, from);
        QFETCH(QString, operation);
        QFETCH(QString, failing);
        QFETCH(QString, result);
        QFETCH(QString, state);
        QFETCH(QStringList, events);
        QFETCH(QString, errorMessage);

        SessionFixture f;
        QVERIFY(f.settings.setValue(settings::kUseWebViewRecorderNewest, false)); // privacy off: the microphone
        AudioRecorderManager::Options options;
        ScriptedRecorders scripted;
        if (!failing.isEmpty()) {
            scripted.script.fixture = m_fixtures.file(3.0);
            const QString failure = QStringLiteral("scripted %1 failure").arg(failing);
            (failing == QLatin1String("start")    ? scripted.script.failStart
             : failing == QLatin1String("pause")  ? scripted.script.failPause
             : failing == QLatin1String("resume") ? scripted.script.failResume
                                                  : scripted.script.failStop) = failure;
            options.microphoneRecorder = scripted.maker(QStringLiteral("microphone"));
        }
        auto session = f.makeSession(std::move(options));

        if (from != QLatin1String("stopped"))
            QCOMPARE(outcome(run(*session, QStringLiteral("start"))), QStringLiteral("ok"));
        if (from == QLatin1String("paused"))
            QCOMPARE(outcome(run(*session, QStringLiteral("pause"))), QStringLiteral("ok"));

        QCOMPARE(outcome(run(*session, operation)), result);
        QCOMPARE(stateName(session->recordingState()), state);
        QCOMPARE(f.deliveredEvents(), events);
        QCOMPARE(errorMessageOf(f.lastEventProperties()), errorMessage);
        for (const nlohmann::json &message : f.telemetry.collector.batchMessages()) {
            QCOMPARE(jsonText(message.at("properties").at("media_format")), QStringLiteral("m4a"));
            QCOMPARE(jsonText(message.at("properties").at("media_type")), QStringLiteral("AUDIO"));
        }
        if (result != QLatin1String("ok"))
            QTRY_VERIFY2(f.reportedErrors().contains(result), qPrintable(f.reportedErrors().join(u'|')));

        if (operation == QLatin1String("extend")) {
            QCOMPARE(session->maxRecordingDuration(), 14400.0);
            // Two hours later: a running recording goes on (its stop moved to four hours); one that is not
            // running was given no timers.
            f.clock.advance(7200s);
            QCOMPARE(stateName(session->recordingState()), state);
            if (state == QLatin1String("recording"))
                QCOMPARE(f.presenter.shownAt.size(), 8); // 300 s, then every 900 s; no final reminder yet
            else
                QCOMPARE(f.presenter.shownAt, QList<qint64>());
        }
        if (operation == QLatin1String("stop") && failing == QLatin1String("stop"))
            QCOMPARE(f.handOff.items.size(), 1);

        if (session->recordingState() != AudioRecordingState::Stopped)
            QCOMPARE(outcome(run(*session, QStringLiteral("stop"))), QStringLiteral("ok"));
    }

    void aStartWhilePausedLeavesThePausedRecordingWhole()
    {
        SessionFixture f;
        QVERIFY(f.settings.setValue(settings::kUseWebViewRecorderNewest, false));
        QVERIFY(f.settings.setValue(settings::kOnboardingCompleted, true));
        int made = 0;
        AudioRecorderManager::Options options;
        options.microphoneRecorder = [&made]() -> std::unique_ptr<IAudioRecorder> {
            ++made;
            return std::make_unique<SimpleAudioRecorder>();
        };
        auto session = f.makeSession(std::move(options));

        QCOMPARE(outcome(awaitTask(session->startRecording(RecordingPurpose::Onboarding), 20s)), QStringLiteral("ok"));
        const QString file = session->recordingFilePath();
        QCOMPARE(outcome(run(*session, QStringLiteral("pause"))), QStringLiteral("ok"));
        QCOMPARE(outcome(run(*session, QStringLiteral("start"))),
                 QStringLiteral("Cannot start: recording state: paused"));
        QCOMPARE(made, 1);
        QCOMPARE(session->recordingFilePath(), file);

        QCOMPARE(outcome(run(*session, QStringLiteral("resume"))), QStringLiteral("ok"));
        QCOMPARE(outcome(run(*session, QStringLiteral("stop"))), QStringLiteral("ok"));
        QCOMPARE(f.handOff.items.size(), 1);
        QCOMPARE(f.handOff.items.first().filePath, file);
        QCOMPARE(QDir(f.folder).entryList(QDir::Files), QStringList{QFileInfo(file).fileName()});
    }

    void recorderChoice_data()
    {
        QTest::addColumn<QString>("purpose");
        QTest::addColumn<QString>("onboardingCompleted"); // "absent", "true" or "false"
        QTest::addColumn<QString>("privacyControl");
        QTest::addColumn<QString>("experimentRecorder");
        QTest::addColumn<bool>("webViewInjected");
        QTest::addColumn<QString>("chosen");

        QTest::newRow("onboarding try-out before onboarding: microphone, whatever privacy says")
            << "onboarding"
            << "absent"
            << "true"
            << "true" << true << "microphone";
        QTest::newRow("onboarding try-out, onboarding stored as not complete") << "onboarding"
                                                                               << "false"
                                                                               << "absent"
                                                                               << "false" << true << "microphone";
        QTest::newRow("onboarding after onboarding follows privacy control") << "onboarding"
                                                                             << "true"
                                                                             << "absent"
                                                                             << "absent" << true << "web view";
        QTest::newRow("practice before onboarding follows privacy control") << "practice"
                                                                            << "absent"
                                                                            << "true"
                                                                            << "true" << true << "filtered";
        QTest::newRow("privacy off: microphone") << "practice"
                                                 << "true"
                                                 << "false"
                                                 << "true" << true << "microphone";
        QTest::newRow("privacy absent means on: web view") << "practice"
                                                           << "true"
                                                           << "absent"
                                                           << "absent" << true << "web view";
        QTest::newRow("privacy on, experiment recorder enabled: filtered") << "practice"
                                                                           << "true"
                                                                           << "true"
                                                                           << "true" << true << "filtered";
        QTest::newRow("privacy on, no web view yet: filtered stands in, never the bare microphone")
            << "practice"
            << "true"
            << "true"
            << "false" << false << "filtered";
    }

    void recorderChoice()
    {
        QFETCH(QString, purpose);
        QFETCH(QString, onboardingCompleted);
        QFETCH(QString, privacyControl);
        QFETCH(QString, experimentRecorder);
        QFETCH(bool, webViewInjected);
        QFETCH(QString, chosen);

        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        const auto store = [&s](const brelta::platform::settings::BoolSetting &setting, const QString &value) {
            if (value == QLatin1String("absent"))
                s.f.settings.remove(setting);
            else
                QVERIFY(s.f.settings.setValue(setting, value == QLatin1String("true")));
        };
        store(settings::kOnboardingCompleted, onboardingCompleted);
        store(settings::kUseWebViewRecorderNewest, privacyControl);
        store(settings::kUseExperimentAudioRecorder, experimentRecorder);

        auto webView = std::make_shared<ScriptedRecorder>(QStringLiteral("web view"), s.scripted.script);
        if (webViewInjected)
            s.manager->setWebViewRecorder(webView);

        QCOMPARE(outcome(awaitTask(s.manager->startRecording(*recordingPurposeFromRawValue(purpose)))),
                 QStringLiteral("ok"));
        const QString used = webView->calls().isEmpty() ? s.scripted.kinds().join(u',') : webView->kind();
        QCOMPARE(used, chosen);
        QCOMPARE(outcome(run(*s.manager, QStringLiteral("stop"))), QStringLiteral("ok"));
        // The web-view recorder is used again by the next recording: it is neither released nor kept hooked.
        QCOMPARE(webView->delegate(), nullptr);
    }

    void privacyOnWithoutAWebViewRecordsWithTheFilteredRecorder()
    {
        SessionFixture f;
        QVERIFY(f.settings.setValue(settings::kOnboardingCompleted, true));
        auto session = f.makeSession();

        QTest::ignoreMessage(QtInfoMsg, "select audio recorder: brelta::recording::SystemVoiceFilteredAudioRecorder");
        QCOMPARE(outcome(awaitTask(session->startRecording(RecordingPurpose::Onboarding), 20s)), QStringLiteral("ok"));
        QTest::qWait(1000);
        QCOMPARE(outcome(run(*session, QStringLiteral("stop"))), QStringLiteral("ok"));
        QCOMPARE(f.handOff.items.size(), 1);
        const auto probed = probeAudio(f.handOff.items.first().filePath);
        QVERIFY(probed);
        QCOMPARE(probed->codec, QStringLiteral("aac"));
        QCOMPARE(probed->sampleRate, 16000); // the filtered recorder's format, not the microphone recorder's
    }

    void aFolderThatCannotBeCreatedFailsTheStart()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("plain-file"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        AudioRecorderManager::Options options;
        options.recordingsFolder = blocker;
        ScriptedSession s({}, std::move(options));

        const QString expected =
            QStringLiteral("cannot create the recordings folder: %1 exists and is not a folder").arg(blocker);
        const Awaited<void> started = run(*s.manager, QStringLiteral("start"));
        QCOMPARE(s.scripted.made.size(), 1);
        QVERIFY(s.recorder(0));
        QVERIFY(s.recorder(0)->calls().isEmpty()); // never started
        QVERIFY(started.threw());
        QCOMPARE(describeFailure(started.error), expected);
        QCOMPARE(s.manager->recordingState(), AudioRecordingState::Stopped);
        QCOMPARE(s.f.deliveredEvents(), QStringList{QStringLiteral("Recording Start Failed")});
        QTRY_VERIFY(s.f.reportedErrors().contains(expected));
        QTRY_VERIFY(!s.recorder(0)); // released
    }

    void theRecordingsFolderAndFileNames()
    {
        QTemporaryDir dir;
        const QString nested = dir.filePath(QStringLiteral("data/brelta"));
        QCOMPARE(recordingsDirectory(nested), nested);
        QVERIFY(QFileInfo(nested).isDir());
        QCOMPARE(recordingsDirectory(nested), nested); // an existing folder is fine

        const QRegularExpression name(QStringLiteral("^(practice|onboarding)_[0-9a-f]{32}\\.m4a$"));
        QVERIFY(name.match(newRecordingFileName(RecordingPurpose::Practice)).hasMatch());
        QVERIFY(newRecordingFileName(RecordingPurpose::Onboarding).startsWith(QLatin1String("onboarding_")));
        QVERIFY(newRecordingFileName(RecordingPurpose::Practice) != newRecordingFileName(RecordingPurpose::Practice));
        // The upload queue's launch recovery knows our files by these names.
        for (const RecordingPurpose purpose : {RecordingPurpose::Practice, RecordingPurpose::Onboarding})
            QCOMPARE(RecordingsFolder::purposeOfRecordingName(newRecordingFileName(purpose)), std::optional(purpose));

        ScriptedSession s({});
        QCOMPARE(outcome(run(*s.manager, QStringLiteral("start"))), QStringLiteral("ok"));
        const QFileInfo file(s.recorder(0)->outputPath());
        QCOMPARE(file.absolutePath(), QFileInfo(s.f.folder).absoluteFilePath());
        QVERIFY2(name.match(file.fileName()).hasMatch(), qPrintable(file.fileName()));
        QVERIFY(file.fileName().startsWith(QLatin1String("practice_")));
    }

    void processingAfterAStop_data()
    {
        QTest::addColumn<QString>("purpose");
        QTest::addColumn<double>("seconds"); // the recording's length; 0: the file is gone at the stop
        QTest::addColumn<bool>("withDelegate");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("queued");
        QTest::addColumn<QString>("told"); // "accepted", "too short: …", "error: …" or "nothing"
        QTest::addColumn<QStringList>("events");

        const QString started = QStringLiteral("Recording Start Succeeded");
        const QString ended = QStringLiteral("Recording End Succeeded");
        QTest::newRow("accepted") << "practice" << 3.0 << true << "ok" << 1 << "accepted"
                                  << QStringList{started, ended};
        QTest::newRow("too short") << "practice" << 1.9 << true << "ok" << 0
                                   << "too short: recording too short, duration: 1.9" << QStringList{started, ended};
        QTest::newRow("no delegate: still queued")
            << "onboarding" << 0.5 << false << "ok" << 1 << "nothing" << QStringList{started, ended};
        QTest::newRow("the file vanished") << "practice" << 0.0 << true << "path: file:///" << 0 << "nothing"
                                           << QStringList{started, "Recording End Failed"};
    }

    void processingAfterAStop()
    {
        QFETCH(QString, purpose);
        QFETCH(double, seconds);
        QFETCH(bool, withDelegate);
        QFETCH(QString, result);
        QFETCH(int, queued);
        QFETCH(QString, told);
        QFETCH(QStringList, events);

        ScriptedSession s({.fixture = seconds > 0 ? m_fixtures.file(seconds) : QString()});
        SessionFixture &f = s.f;
        const std::unique_ptr<AudioRecorderManager> &session = s.manager;
        QVERIFY(f.settings.setText(settings::kUsername, QStringLiteral("ada@example.com")));
        if (!withDelegate)
            session->setDelegate(nullptr);

        const QDateTime startedAt = f.clock.now();
        const QMap<QString, QString> params{{QStringLiteral("source"), QStringLiteral("calendar")}};
        QCOMPARE(outcome(awaitTask(session->startRecording(*recordingPurposeFromRawValue(purpose), params))),
                 QStringLiteral("ok"));
        f.clock.advance(3s);
        QCOMPARE(session->recordingDuration(), 3);

        const Awaited<qsizetype> stopped = awaitTask(delegateCallsWhenDone(session->stopRecording(), &f.delegate));
        QVERIFY(stopped.finished);
        QVERIFY2(stopped.errorText().startsWith(result) || (result == QLatin1String("ok") && stopped.succeeded()),
                 qPrintable(stopped.errorText()));
        if (stopped.succeeded())
            QCOMPARE(*stopped.value, 0); // the shell hears of it only after the stop has returned
        QCOMPARE(session->recordingDuration(), 0);
        QCOMPARE(f.handOff.items.size(), queued);
        if (queued) {
            const FinishedRecording &item = f.handOff.items.first();
            QCOMPARE(item.owner, QStringLiteral("ada@example.com"));
            QCOMPARE(item.startTime, startedAt);
            QCOMPARE(item.endTime, startedAt.addSecs(3));
            QCOMPARE(rawValue(item.purpose), purpose);
            QCOMPARE(item.sourceParams, std::optional(params));
            QCOMPARE(item.durationSeconds, qint64(seconds));
            QVERIFY(QFile::exists(item.filePath));
        }

        if (told == QLatin1String("nothing")) {
            QTest::qWait(50);
            QCOMPARE(f.delegate.calls.size(), 0);
        } else {
            QTRY_COMPARE(f.delegate.calls.size(), 1);
            const DelegateSpy::Call call = f.delegate.calls.first();
            const QString actual = !call.errorMessage ? QStringLiteral("accepted")
                                   : call.isTooShort  ? QStringLiteral("too short: ") + *call.errorMessage
                                                      : QStringLiteral("error: ") + *call.errorMessage;
            QVERIFY2(actual.startsWith(told), qPrintable(actual)); // the length as the reader gives it
        }
        QCOMPARE(f.deliveredEvents(), events);
        if (told.startsWith(QLatin1String("too short"))) {
            QVERIFY(QDir(f.folder).entryList(QDir::Files).isEmpty());
            QTRY_COMPARE(f.reportedErrors().size(), 1);
            QVERIFY(f.reportedErrors().first().startsWith(QLatin1String("recording too short, duration: 1.9")));
        }
    }

    void theScreensSeeItsStateThroughProperties()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        AudioRecorderManager &session = *s.manager;
        QSignalSpy states(&session, &AudioRecorderManager::recordingStateChanged);
        QSignalSpy durations(&session, &AudioRecorderManager::recordingDurationChanged);
        QSignalSpy maxima(&session, &AudioRecorderManager::maxRecordingDurationChanged);
        QSignalSpy popovers(&session, &AudioRecorderManager::hasDisplayedRecordingPopoverChanged);
        QVERIFY(session.setProperty("hasDisplayedRecordingPopover", true)); // the shell showed it last time
        QVERIFY(session.setProperty("maxRecordingDuration", 100.0));

        QCOMPARE(outcome(run(session, QStringLiteral("start"))), QStringLiteral("ok"));
        s.f.clock.advance(2s);
        QCOMPARE(session.property("recordingState").value<AudioRecordingState>(), AudioRecordingState::Recording);
        QCOMPARE(session.property("recordingDuration").toLongLong(), 2);
        QCOMPARE(session.property("maxRecordingDuration").toDouble(), 7200.0);      // every start allows two hours
        QCOMPARE(session.property("hasDisplayedRecordingPopover").toBool(), false); // reset for the new recording
        QCOMPARE(outcome(run(session, QStringLiteral("stop"))), QStringLiteral("ok"));

        QCOMPARE(states.size(), 2);
        QCOMPARE(states.at(1).at(0).value<AudioRecordingState>(), AudioRecordingState::Stopped);
        QCOMPARE(durations.size(), 3); // 1, 2, then back to 0
        QCOMPARE(maxima.size(), 2);
        QCOMPARE(popovers.size(), 2);
        session.setMaxRecordingDuration(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(session.maxRecordingDuration(), 7200.0);
    }

    void aResumeMovesTheUploadSpanToTheLastStretch()
    {
        ScriptedSession s({.fixture = m_fixtures.file(3.0)});
        SessionFixture &f = s.f;
        AudioRecorderManager *session = s.manager.get();
        const QDateTime t0 = f.clock.now();

        QCOMPARE(outcome(run(*session, QStringLiteral("start"))), QStringLiteral("ok"));
        f.clock.advance(10s);
        QCOMPARE(outcome(run(*session, QStringLiteral("pause"))), QStringLiteral("ok"));
        f.clock.advance(10s);
        QCOMPARE(outcome(run(*session, QStringLiteral("resume"))), QStringLiteral("ok"));
        f.clock.advance(10s);
        QCOMPARE(session->recordingDuration(), 20);
        QCOMPARE(outcome(run(*session, QStringLiteral("stop"))), QStringLiteral("ok"));

        QCOMPARE(f.handOff.items.size(), 1);
        QCOMPARE(f.handOff.items.first().startTime, t0.addSecs(20));
        QCOMPARE(f.handOff.items.first().endTime, t0.addSecs(30));
    }
};

QTEST_GUILESS_MAIN(TestAudioRecorderManager)
#include "tst_audiorecordermanager.moc"
