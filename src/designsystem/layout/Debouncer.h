#pragma once

#include "platform/Clock.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace brelta::designsystem {

// Runs one action for a burst of calls, on the thread that owns it, timed by the clock it is given.
//
// Leading: the first call of a burst runs its action at once (queued on the event loop); calls until
// `delay` has passed since the latest one are swallowed, each pushing the end of the burst out.
// Trailing: only the last call of a burst runs, `delay` after it.
class Debouncer : public QObject
{
    Q_OBJECT

public:
    enum class Edge { Leading, Trailing };

    Debouncer(platform::Clock *clock, std::chrono::milliseconds delay, Edge edge, QObject *parent = nullptr);
    ~Debouncer() override;

    void call(std::function<void()> action);

    // Within a burst (leading) or holding an action that is still to run (trailing).
    bool isBusy() const { return m_timer->isActive(); }

private:
    std::chrono::milliseconds m_delay;
    Edge m_edge;
    std::unique_ptr<platform::Timer> m_timer;
    std::function<void()> m_pending;
};

} // namespace brelta::designsystem
