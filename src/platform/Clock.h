#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

namespace brelta::platform {

// A single-shot or repeating timer made by a Clock. Fires timeout() on the thread that owns it.
class Timer : public QObject
{
    Q_OBJECT

public:
    enum class Mode { SingleShot, Repeating };

    // Starts (or restarts) the timer: the first timeout comes `interval` from now, a repeating timer then
    // fires every `interval`.
    virtual void start(std::chrono::milliseconds interval, Mode mode) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual std::chrono::milliseconds interval() const = 0;

signals:
    void timeout();

protected:
    Timer() = default;
};

// Where the time comes from: the system in production, a hand-driven clock in tests.
class Clock
{
public:
    virtual ~Clock() = default;

    // Wall-clock time, in UTC.
    virtual QDateTime now() const = 0;
    // Milliseconds that only ever grow, unaffected by changes of the wall clock.
    virtual qint64 monotonicMs() const = 0;

    virtual std::unique_ptr<Timer> createTimer() = 0;
};

class SystemClock final : public Clock
{
public:
    SystemClock();

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    // A QTimer with Qt::PreciseTimer.
    std::unique_ptr<Timer> createTimer() override;

private:
    QElapsedTimer m_monotonic;
};

class ManualTimer;

// A clock that stands still until a test advances it. Its timers fire during advance(), in the order of
// their deadlines (equal deadlines in the order they were started), with now() reading the deadline.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2024, 1, 1), QTime(9, 0), Qt::UTC));
    ~ManualClock() override;

    QDateTime now() const override;
    qint64 monotonicMs() const override;
    std::unique_ptr<Timer> createTimer() override;

    // Moves both clocks forward, firing every timer whose deadline falls within the step.
    void advance(std::chrono::milliseconds step);
    // Sets the wall clock alone, as when the user changes the time or the machine wakes from sleep;
    // timers, which follow the monotonic clock, do not fire.
    void setWallClock(const QDateTime &now);

private:
    friend class ManualTimer;
    void attach(ManualTimer *timer);
    void detach(ManualTimer *timer);
    quint64 nextSequence() { return ++m_sequence; }

    QDateTime m_wallAtZero;
    qint64 m_monotonicMs = 0;
    quint64 m_sequence = 0;
    std::vector<ManualTimer *> m_timers;
};

class ManualTimer final : public Timer
{
    Q_OBJECT

public:
    explicit ManualTimer(ManualClock *clock);
    ~ManualTimer() override;

    void start(std::chrono::milliseconds interval, Mode mode) override;
    void stop() override;
    bool isActive() const override { return m_active; }
    std::chrono::milliseconds interval() const override { return m_interval; }

private:
    friend class ManualClock;
    ManualClock *m_clock;
    bool m_active = false;
    Mode m_mode = Mode::SingleShot;
    std::chrono::milliseconds m_interval{0};
    qint64 m_deadlineMs = 0;
    quint64 m_sequence = 0;
};

} // namespace brelta::platform
