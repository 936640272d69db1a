#include "platform/Clock.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using brelta::platform::ManualClock;
using brelta::platform::SystemClock;
using brelta::platform::Timer;

class ClockTest : public QObject
{
    Q_OBJECT

private slots:
    void manualTimersFireInDeadlineOrder()
    {
        ManualClock clock;
        const QDateTime start = clock.now();
        QStringList fired;
        QList<qint64> firedAt;
        auto record = [&](const QString &name) {
            fired << name;
            firedAt << clock.monotonicMs();
        };

        auto repeating = clock.createTimer();
        auto late = clock.createTimer();
        auto early = clock.createTimer();
        auto sameAsEarly = clock.createTimer();
        connect(repeating.get(), &Timer::timeout, this, [&] { record(QStringLiteral("repeating")); });
        connect(late.get(), &Timer::timeout, this, [&] { record(QStringLiteral("late")); });
        connect(early.get(), &Timer::timeout, this, [&] { record(QStringLiteral("early")); });
        connect(sameAsEarly.get(), &Timer::timeout, this, [&] { record(QStringLiteral("sameAsEarly")); });
        repeating->start(300ms, Timer::Mode::Repeating);
        late->start(1000ms, Timer::Mode::SingleShot);
        early->start(200ms, Timer::Mode::SingleShot);
        sameAsEarly->start(200ms, Timer::Mode::SingleShot);

        clock.advance(199ms);
        QVERIFY(fired.isEmpty());
        clock.advance(1001ms);
        QCOMPARE(fired,
                 (QStringList{"early", "sameAsEarly", "repeating", "repeating", "repeating", "late", "repeating"}));
        QCOMPARE(firedAt, (QList<qint64>{200, 200, 300, 600, 900, 1000, 1200}));
        QCOMPARE(clock.monotonicMs(), qint64(1200));
        QCOMPARE(clock.now(), start.addMSecs(1200));
        QVERIFY(!early->isActive());
        QVERIFY(repeating->isActive());
        QCOMPARE(repeating->interval(), 300ms);
    }

    void slotsMayStopRestartAndDeleteTimers()
    {
        ManualClock clock;
        auto first = clock.createTimer();
        auto second = clock.createTimer();
        auto third = clock.createTimer();
        int secondFired = 0;
        int thirdFired = 0;
        connect(first.get(), &Timer::timeout, this, [&] {
            second->stop();
            third.reset();
            first->start(50ms, Timer::Mode::SingleShot); // restarted from the time it fired
        });
        connect(second.get(), &Timer::timeout, this, [&] { ++secondFired; });
        connect(third.get(), &Timer::timeout, this, [&] { ++thirdFired; });
        QSignalSpy firstSpy(first.get(), &Timer::timeout);
        first->start(100ms, Timer::Mode::SingleShot);
        second->start(120ms, Timer::Mode::SingleShot);
        third->start(120ms, Timer::Mode::Repeating);

        clock.advance(175ms);
        QCOMPARE(firstSpy.count(), 2); // at 100 and 150
        QCOMPARE(secondFired, 0);
        QCOMPARE(thirdFired, 0);
        QVERIFY(first->isActive()); // re-armed for 200
    }

    void wallClockChangesDoNotFireTimers()
    {
        ManualClock clock;
        auto timer = clock.createTimer();
        QSignalSpy spy(timer.get(), &Timer::timeout);
        timer->start(1000ms, Timer::Mode::SingleShot);
        const QDateTime later = clock.now().addSecs(3600);
        clock.setWallClock(later);
        QCOMPARE(clock.now(), later);
        QCOMPARE(spy.count(), 0);
        clock.advance(1000ms);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(clock.now(), later.addMSecs(1000));
    }

    void timersOutliveTheirClockQuietly()
    {
        std::unique_ptr<Timer> timer;
        {
            ManualClock clock;
            timer = clock.createTimer();
            timer->start(10ms, Timer::Mode::Repeating);
        }
        QVERIFY(!timer->isActive());
        timer->start(10ms, Timer::Mode::SingleShot); // must not touch the destroyed clock
        QVERIFY(!timer->isActive());
    }

    void systemTimerFiresOnTheEventLoop()
    {
        SystemClock clock;
        const qint64 before = clock.monotonicMs();
        QVERIFY(qAbs(clock.now().secsTo(QDateTime::currentDateTimeUtc())) <= 1);
        QCOMPARE(clock.now().timeSpec(), Qt::UTC);

        auto timer = clock.createTimer();
        QSignalSpy spy(timer.get(), &Timer::timeout);
        timer->start(20ms, Timer::Mode::Repeating);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 2, 5000);
        QVERIFY(clock.monotonicMs() - before >= 40);
        timer->stop();
        QVERIFY(!timer->isActive());

        timer->start(10ms, Timer::Mode::SingleShot);
        QVERIFY(spy.wait(5000));
        QVERIFY(!timer->isActive());
    }
};

QTEST_GUILESS_MAIN(ClockTest)
#include "tst_clock.moc"
