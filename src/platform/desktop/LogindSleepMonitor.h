#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace brelta::platform::desktop {

// The machine's sleep and wake as logind announces them on the system bus (PrepareForSleep).
//
// logind waits before suspending only for delay locks taken before it announced the sleep, so whoever
// must finish work first (a recording being written) takes one while that work may be under way
// (holdSleepDelay) and gives it back once done (releaseSleepDelay); logind waits at most its
// InhibitDelayMaxSec. Without a system bus or without logind nothing is announced: one log line says so.
class LogindSleepMonitor : public QObject
{
    Q_OBJECT

public:
    // `systemBus` is the bus logind is on (QDBusConnection::systemBus(); a test's private bus).
    explicit LogindSleepMonitor(QDBusConnection systemBus, QObject *parent = nullptr);
    ~LogindSleepMonitor() override;

    bool isWatching() const { return m_watching; }

    // Asks logind for a delay lock (once; asking again while one is held or asked for does nothing).
    void holdSleepDelay(const QString &why);
    // Closes the lock, or drops the answer of one still being asked for.
    void releaseSleepDelay();
    // A lock is held now (its descriptor is open).
    bool holdsSleepDelay() const { return m_lock.isValid(); }

signals:
    void aboutToSleep();
    void woke();
    // A delay lock was granted or refused (for tests and logs).
    void sleepDelayAnswered(bool held);

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    QDBusConnection m_bus;
    bool m_watching = false;
    bool m_wanted = false;
    bool m_asking = false;
    QDBusUnixFileDescriptor m_lock;
};

} // namespace brelta::platform::desktop
