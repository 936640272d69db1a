#include "platform/DeadlineTimer.h"

#include <algorithm>

namespace brelta::platform {

DeadlineTimer::DeadlineTimer(Clock *clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_timer(clock->createTimer())
{
    connect(m_timer.get(), &Timer::timeout, this, &DeadlineTimer::onTimeout);
}

DeadlineTimer::~DeadlineTimer() = default;

void DeadlineTimer::start(const QDateTime &deadline)
{
    m_deadline = deadline;
    m_active = true;
    step();
}

void DeadlineTimer::stop()
{
    m_active = false;
    m_timer->stop();
}

void DeadlineTimer::rearm()
{
    if (m_active)
        step();
}

void DeadlineTimer::step()
{
    const qint64 remaining = std::max<qint64>(m_clock->now().msecsTo(m_deadline), 0);
    const auto wait =
        std::min(std::chrono::milliseconds(remaining), std::chrono::duration_cast<std::chrono::milliseconds>(kMaxStep));
    m_timer->start(wait, Timer::Mode::SingleShot);
}

void DeadlineTimer::onTimeout()
{
    if (!m_active)
        return;
    if (m_clock->now() < m_deadline) {
        step();
        return;
    }
    m_active = false;
    // Last: a receiver may delete this timer.
    emit fired();
}

} // namespace brelta::platform
