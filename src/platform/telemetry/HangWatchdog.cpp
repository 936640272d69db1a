#include "platform/telemetry/HangWatchdog.h"

namespace brelta::platform {

HangWatchdog::HangWatchdog(std::chrono::milliseconds threshold, HangCallback onHang, QObject *parent)
    : QObject(parent)
    , m_threshold(threshold)
    , m_onHang(std::move(onHang))
    , m_lastBeatMs(nowMs())
{
    // Beat and look four times per threshold, so a hang is noticed within 1.25 thresholds.
    m_heartbeat.setTimerType(Qt::PreciseTimer);
    m_heartbeat.setInterval(std::max<std::chrono::milliseconds>(m_threshold / 4, std::chrono::milliseconds(10)));
    connect(&m_heartbeat, &QTimer::timeout, this, &HangWatchdog::beat);
    m_heartbeat.start();
    m_watcher = std::thread(&HangWatchdog::watch, this);
}

HangWatchdog::~HangWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_watcher.join();
}

void HangWatchdog::beat()
{
    m_lastBeatMs = nowMs();
}

void HangWatchdog::watch()
{
    const auto period = std::max<std::chrono::milliseconds>(m_threshold / 4, std::chrono::milliseconds(10));
    qint64 reportedBeat = -1; // the heartbeat after which the current hang was reported
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, period, [this] { return m_stopping; })) {
        const qint64 lastBeat = m_lastBeatMs;
        const auto blockedFor = std::chrono::milliseconds(nowMs() - lastBeat);
        if (blockedFor > m_threshold && lastBeat != reportedBeat) {
            reportedBeat = lastBeat;
            lock.unlock();
            m_onHang(blockedFor);
            lock.lock();
        }
    }
}

qint64 HangWatchdog::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace brelta::platform
