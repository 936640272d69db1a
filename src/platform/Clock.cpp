#include "platform/Clock.h"

#include <QTimer>

#include <algorithm>

namespace brelta::platform {

namespace {

class SystemTimer final : public Timer
{
public:
    SystemTimer() : m_timer(this)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }

    void start(std::chrono::milliseconds interval, Mode mode) override
    {
        m_timer.setSingleShot(mode == Mode::SingleShot);
        m_timer.start(interval);
    }

    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    std::chrono::milliseconds interval() const override { return m_timer.intervalAsDuration(); }

private:
    QTimer m_timer;
};

} // namespace

SystemClock::SystemClock()
{
    m_monotonic.start();
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::monotonicMs() const
{
    return m_monotonic.elapsed();
}

std::unique_ptr<Timer> SystemClock::createTimer()
{
    return std::make_unique<SystemTimer>();
}

ManualClock::ManualClock(QDateTime start) : m_wallAtZero(start.toUTC()) {}

ManualClock::~ManualClock()
{
    for (ManualTimer *timer : m_timers) {
        timer->m_clock = nullptr;
        timer->m_active = false;
    }
}

QDateTime ManualClock::now() const
{
    return m_wallAtZero.addMSecs(m_monotonicMs);
}

qint64 ManualClock::monotonicMs() const
{
    return m_monotonicMs;
}

std::unique_ptr<Timer> ManualClock::createTimer()
{
    return std::make_unique<ManualTimer>(this);
}

void ManualClock::advance(std::chrono::milliseconds step)
{
    const qint64 target = m_monotonicMs + std::max<qint64>(step.count(), 0);
    for (;;) {
        ManualTimer *due = nullptr;
        for (ManualTimer *timer : m_timers) {
            if (!timer->m_active || timer->m_deadlineMs > target)
                continue;
            if (!due || timer->m_deadlineMs < due->m_deadlineMs
                || (timer->m_deadlineMs == due->m_deadlineMs && timer->m_sequence < due->m_sequence))
                due = timer;
        }
        if (!due)
            break;
        m_monotonicMs = due->m_deadlineMs;
        if (due->m_mode == Timer::Mode::SingleShot) {
            due->m_active = false;
        } else {
            // A zero interval would fire forever within one step; it fires once per millisecond instead.
            due->m_deadlineMs += std::max<qint64>(due->m_interval.count(), 1);
            due->m_sequence = nextSequence();
        }
        // The slot may stop, restart or delete this timer or others; the next pass looks again.
        emit due->timeout();
    }
    m_monotonicMs = target;
}

void ManualClock::setWallClock(const QDateTime &now)
{
    m_wallAtZero = now.toUTC().addMSecs(-m_monotonicMs);
}

void ManualClock::attach(ManualTimer *timer)
{
    m_timers.push_back(timer);
}

void ManualClock::detach(ManualTimer *timer)
{
    std::erase(m_timers, timer);
}

ManualTimer::ManualTimer(ManualClock *clock) : m_clock(clock)
{
    m_clock->attach(this);
}

ManualTimer::~ManualTimer()
{
    if (m_clock)
        m_clock->detach(this);
}

void ManualTimer::start(std::chrono::milliseconds interval, Mode mode)
{
    if (!m_clock)
        return;
    m_interval = std::max(interval, std::chrono::milliseconds(0));
    m_mode = mode;
    m_deadlineMs = m_clock->monotonicMs() + m_interval.count();
    m_sequence = m_clock->nextSequence();
    m_active = true;
}

void ManualTimer::stop()
{
    m_active = false;
}

} // namespace brelta::platform
