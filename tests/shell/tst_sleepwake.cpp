#include "ShellTestSupport.h"

#include "testsupport/logind/FakeLogind.h"

#include <QSignalSpy>

using namespace std::chrono_literals;
using brelta::platform::desktop::LogindSleepMonitor;
using brelta::recording::AudioRecordingState;
using brelta::shell::AppDelegate;
using brelta::testsupport::FakeLogind;
using brelta::testsupport::shell::ShellFixture;
using brelta::testsupport::shell::waitUntil;

Q_DECLARE_METATYPE(AudioRecordingState)

class SleepWakeTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeLogind> logind;
    std::unique_ptr<LogindSleepMonitor> monitor;
    std::unique_ptr<ShellFixture> f;

private slots:
    void init()
    {
        logind = std::make_unique<FakeLogind>();
        QVERIFY2(logind->start(), qPrintable(logind->errorString()));
        monitor = std::make_unique<LogindSleepMonitor>(logind->clientConnection(QStringLiteral("brelta-test")));
        QVERIFY(monitor->isWatching());
        f = std::make_unique<ShellFixture>();
        f->sleepMonitor = monitor.get();
        f->makeDelegate();
        QVERIFY(f->launchAndWaitForServices());
        f->recording.trace = &f->trace;
    }

    void cleanup()
    {
        f.reset();
        monitor.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("brelta-test"));
        logind.reset();
    }

    // While a recording runs, a delay lock is held; at the sleep announcement the recording stops, and the
    // lock closes only once the stop and its hand-off are done.
    void sleepWhileRecordingWaitsForTheHandOff()
    {
        f->recording.setState(AudioRecordingState::Recording);
        QVERIFY(waitUntil([this] { return logind->openLockCount() == 1; }));
        const FakeLogind::Lock &lock = logind->locks().front();
        QCOMPARE(lock.what, QStringLiteral("sleep"));
        QCOMPARE(lock.who, QStringLiteral("Brelta"));
        QCOMPARE(lock.mode, QStringLiteral("delay"));

        logind->announceSleep(true);
        QVERIFY(waitUntil([this] { return f->recording.stopCount == 1; }));
        QTest::qWait(100);
        QCOMPARE(logind->openLockCount(), 1);
        f->recording.handOff();
        QVERIFY(waitUntil([this] { return logind->openLockCount() == 0; }));
        QCOMPARE(logind->locks().size(), std::size_t(1));
    }

    void noLockWithoutARunningRecording_data()
    {
        QTest::addColumn<AudioRecordingState>("state");
        QTest::newRow("idle") << AudioRecordingState::Stopped;
        QTest::newRow("paused: left alone at sleep") << AudioRecordingState::Paused;
    }

    void noLockWithoutARunningRecording()
    {
        QFETCH(AudioRecordingState, state);
        f->recording.setState(state);
        logind->announceSleep(true);
        QTest::qWait(200);
        QCOMPARE(logind->openLockCount(), 0);
        QCOMPARE(f->recording.stopCount, 0);
    }

    // Waking restores the calendar, polls every 900 s, retries the uploads and tells the wall-clock timers.
    void wakeRestartsTheServices()
    {
        QSignalSpy woke(f->delegate.get(), &AppDelegate::systemWoke);
        f->trace.clear();
        logind->announceSleep(false);
        QVERIFY(waitUntil([&] { return woke.size() == 1; }));
        QCOMPARE(f->trace, (QStringList{QStringLiteral("calendar.restoreSession (absent)"),
                                        QStringLiteral("messages.startMessagesPolling 900")}));
    }
};

BRELTA_SHELL_TEST_MAIN(SleepWakeTest, StatusNotifierItem)
#include "tst_sleepwake.moc"
