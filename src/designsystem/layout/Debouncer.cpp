#include "designsystem/layout/Debouncer.h"

#include <QTimer>

#include <utility>

namespace brelta::designsystem {

Debouncer::Debouncer(platform::Clock *clock, std::chrono::milliseconds delay, Edge edge, QObject *parent)
    : QObject(parent)
    , m_delay(delay)
    , m_edge(edge)
    , m_timer(clock->createTimer())
{
    connect(m_timer.get(), &platform::Timer::timeout, this, [this] {
        // Taken out first: the action may call again.
        std::function<void()> action = std::exchange(m_pending, nullptr);
        if (action)
            action();
    });
}

Debouncer::~Debouncer() = default;

void Debouncer::call(std::function<void()> action)
{
    if (m_edge == Edge::Leading) {
        if (!m_timer->isActive())
            QTimer::singleShot(0, this, std::move(action));
    } else {
        m_pending = std::move(action);
    }
    m_timer->start(m_delay, platform::Timer::Mode::SingleShot);
}

} // namespace brelta::designsystem
