#pragma once

#include "platform/Clock.h"

#include <QDateTime>
#include <QObject>

#include <chrono>
#include <memory>

namespace brelta::platform {

// Fires once when the wall clock reaches a deadline. A plain timer counts elapsed time, which stops
// while the machine sleeps and knows nothing of wall-clock changes; this one waits in steps of at most
// a few minutes and checks the wall clock at each, so a clock set back does not fire it early and a
// clock set forward fires it soon after. On wake the owner calls rearm(): a deadline passed in sleep
// then fires once, on the next turn of the event loop.
class DeadlineTimer : public QObject
{
    Q_OBJECT

public:
    // The longest step between two looks at the wall clock.
    static constexpr std::chrono::minutes kMaxStep{5};

    // `clock` must outlive the timer.
    explicit DeadlineTimer(Clock *clock, QObject *parent = nullptr);
    ~DeadlineTimer() override;

    // Arms (or re-arms) the timer. A deadline already reached fires on the next turn of the event loop.
    void start(const QDateTime &deadline);
    void stop();
    bool isActive() const { return m_active; }
    QDateTime deadline() const { return m_deadline; }

    // Looks at the wall clock again (after a wake or a change of the system time).
    void rearm();

signals:
    void fired();

private:
    void step();
    void onTimeout();

    Clock *m_clock;
    std::unique_ptr<Timer> m_timer;
    QDateTime m_deadline;
    bool m_active = false;
};

} // namespace brelta::platform
