#pragma once

#include <QString>

#include <sys/types.h>

namespace brelta::testsupport {

// Runs the fake StatusNotifierWatcher program on the session bus for the life of this object. Made without
// any Qt application object, so a test can start it before its QApplication, which asks for a tray host
// only once.
class StatusNotifierWatcherProcess
{
public:
    StatusNotifierWatcherProcess() = default;
    ~StatusNotifierWatcherProcess();
    StatusNotifierWatcherProcess(const StatusNotifierWatcherProcess &) = delete;
    StatusNotifierWatcherProcess &operator=(const StatusNotifierWatcherProcess &) = delete;

    // Starts it and waits (up to `timeoutMs`) until it owns its bus name. False, with errorString(), when it
    // did not.
    bool start(int timeoutMs = 10000);
    void stop();
    bool isRunning() const { return m_pid > 0; }
    QString errorString() const { return m_error; }

private:
    pid_t m_pid = -1;
    QString m_error;
};

} // namespace brelta::testsupport
