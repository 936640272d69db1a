#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace brelta::testsupport {

// Runs a tray host for the life of this object: the fake StatusNotifierWatcher on the session bus, or
// trayer, a small XEmbed system tray, on $DISPLAY. Made without any Qt application object, so a test can
// start it before its QApplication, which asks for a StatusNotifierItem host only once. The host dies with
// the test, however the test ends.
class TrayHostProcess
{
public:
    TrayHostProcess() = default;
    ~TrayHostProcess();
    TrayHostProcess(const TrayHostProcess &) = delete;
    TrayHostProcess &operator=(const TrayHostProcess &) = delete;

    // Starts the watcher and waits (up to `timeoutMs`) until it owns its bus name.
    bool startStatusNotifierWatcher(int timeoutMs = 10000);
    // Starts trayer at the top right of the screen. It owns the tray selection a moment later; a test
    // waits for QSystemTrayIcon::isSystemTrayAvailable().
    bool startXEmbedTray();

    void stop();
    bool isRunning() const { return m_pid > 0; }
    QString errorString() const { return m_error; }

private:
    // Runs `program`; with `readyTimeoutMs` >= 0, waits that long for it to print a line starting "ready".
    bool start(const QByteArray &program, const QList<QByteArray> &arguments, int readyTimeoutMs);

    pid_t m_pid = -1;
    QString m_error;
};

} // namespace brelta::testsupport
