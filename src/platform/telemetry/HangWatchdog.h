#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace brelta::platform {

// Notices when the thread it was created on (the main thread) stops running its event loop for longer
// than `threshold`. A timer on that thread leaves a heartbeat; a watcher thread of its own checks it and
// calls `onHang` — from the watcher thread, once per hang — with how long the thread has been stuck.
class HangWatchdog : public QObject
{
    Q_OBJECT

public:
    using HangCallback = std::function<void(std::chrono::milliseconds blockedFor)>;

    HangWatchdog(std::chrono::milliseconds threshold, HangCallback onHang, QObject *parent = nullptr);
    ~HangWatchdog() override;

private:
    void beat();
    void watch();
    static qint64 nowMs();

    const std::chrono::milliseconds m_threshold;
    const HangCallback m_onHang;
    QTimer m_heartbeat;
    std::atomic<qint64> m_lastBeatMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_watcher;
};

} // namespace brelta::platform
