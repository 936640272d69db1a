#include "platform/Clock.h"
#include "platform/DeadlineTimer.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using brelta::platform::DeadlineTimer;
using brelta::platform::ManualClock;

class DeadlineTimerTest : public QObject
{
    Q_OBJECT

private slots:
    void firesOnceAtTheDeadline()
    {
        ManualClock clock;
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        const QDateTime deadline = clock.now().addSecs(2 * 3600);
        timer.start(deadline);

        clock.advance(2h - 1ms);
        QCOMPARE(fired.count(), 0);
        QVERIFY(timer.isActive());
        clock.advance(1ms);
        QCOMPARE(fired.count(), 1);
        QCOMPARE(clock.now(), deadline);
        QVERIFY(!timer.isActive());
        clock.advance(24h);
        QCOMPARE(fired.count(), 1);
    }

    // A deadline that has passed already fires on the next turn, never inside start().
    void pastDeadlineFiresOnTheNextTurn()
    {
        ManualClock clock;
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        timer.start(clock.now().addSecs(-60));
        QCOMPARE(fired.count(), 0);
        clock.advance(0ms);
        QCOMPARE(fired.count(), 1);
    }

    void stoppedTimerStaysQuiet()
    {
        ManualClock clock;
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        timer.start(clock.now().addSecs(60));
        timer.stop();
        timer.rearm();
        clock.advance(1h);
        QCOMPARE(fired.count(), 0);
    }

    // The machine slept through the deadline: elapsed time stood still, the wall clock moved on. The wake
    // fires it once.
    void deadlinePassedInSleepFiresOnceOnWake()
    {
        ManualClock clock;
        const QDateTime start = clock.now();
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        timer.start(start.addSecs(2 * 3600));
        clock.advance(30min);
        clock.setWallClock(start.addSecs(3 * 3600));
        timer.rearm();
        clock.advance(0ms);
        QCOMPARE(fired.count(), 1);
        timer.rearm();
        clock.advance(3h);
        QCOMPARE(fired.count(), 1);
    }

    // Without a wake the timer still notices a clock set forward, within one step.
    void clockSetForwardIsNoticedWithinAStep()
    {
        ManualClock clock;
        const QDateTime start = clock.now();
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        timer.start(start.addSecs(2 * 3600));
        clock.setWallClock(start.addSecs(3 * 3600));
        clock.advance(DeadlineTimer::kMaxStep);
        QCOMPARE(fired.count(), 1);
    }

    // A clock set back makes the timer wait for the wall clock, not fire early.
    void clockSetBackDoesNotFireEarly()
    {
        ManualClock clock;
        const QDateTime start = clock.now();
        DeadlineTimer timer(&clock);
        QSignalSpy fired(&timer, &DeadlineTimer::fired);
        timer.start(start.addSecs(600));
        clock.setWallClock(start.addSecs(-3600));
        clock.advance(10min);
        QCOMPARE(fired.count(), 0);
        clock.advance(1h);
        QCOMPARE(fired.count(), 1);
        QCOMPARE(clock.now(), start.addSecs(600));
    }
};

QTEST_GUILESS_MAIN(DeadlineTimerTest)
#include "tst_deadlinetimer.moc"
