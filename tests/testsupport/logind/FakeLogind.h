#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

namespace brelta::testsupport {

// logind's Manager as a sleep-aware program sees it, on a private dbus-daemon of its own: Inhibit hands
// out the write end of a pipe and keeps the read end, so a test can tell whether the lock is still
// open; announceSleep() sends PrepareForSleep.
class FakeLogind : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    FakeLogind();
    ~FakeLogind() override;

    // Starts the daemon and takes logind's name on it. False with errorString() when it cannot.
    bool start();
    QString errorString() const { return m_error; }
    // A new connection to the private bus, for the code under test.
    QDBusConnection clientConnection(const QString &name) const;

    void announceSleep(bool sleeping);

    struct Lock
    {
        QString what, who, why, mode;
        int readEnd = -1;
    };
    const std::vector<Lock> &locks() const { return m_locks; }
    // Locks whose every write end has been closed by now count as released.
    int openLockCount() const;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode);

signals:
    void PrepareForSleep(bool start);

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
    std::vector<Lock> m_locks;
};

} // namespace brelta::testsupport
