#include "testsupport/logind/FakeLogind.h"

#include <QDBusConnectionInterface>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace brelta::testsupport {

namespace {
const QString kBusName = QStringLiteral("fake-logind-bus");
}

FakeLogind::FakeLogind() = default;

FakeLogind::~FakeLogind()
{
    QDBusConnection::disconnectFromBus(kBusName);
    for (const Lock &lock : m_locks)
        ::close(lock.readEnd);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

bool FakeLogind::start()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                    QStringLiteral("--print-address=1"), QStringLiteral("--address=unix:dir=%1").arg(m_folder.path())});
    if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: %1").arg(m_daemon.errorString());
        return false;
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, kBusName);
    if (!bus.isConnected()) {
        m_error = QStringLiteral("cannot connect to %1: %2").arg(m_address, bus.lastError().message());
        return false;
    }
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
        || !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        m_error = QStringLiteral("cannot take logind's name: %1").arg(bus.lastError().message());
        return false;
    }
    return true;
}

QDBusConnection FakeLogind::clientConnection(const QString &name) const
{
    return QDBusConnection::connectToBus(m_address, name);
}

void FakeLogind::announceSleep(bool sleeping)
{
    emit PrepareForSleep(sleeping);
}

QDBusUnixFileDescriptor FakeLogind::Inhibit(const QString &what, const QString &who, const QString &why,
                                            const QString &mode)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {};
    m_locks.push_back(Lock{what, who, why, mode, ends[0]});
    QDBusUnixFileDescriptor handed(ends[1]); // a copy of the write end travels to the caller
    ::close(ends[1]);
    return handed;
}

int FakeLogind::openLockCount() const
{
    int open = 0;
    for (const Lock &lock : m_locks) {
        pollfd check{lock.readEnd, POLLIN, 0};
        // No hang-up: some write end is still open somewhere.
        if (::poll(&check, 1, 0) == 0)
            ++open;
    }
    return open;
}

} // namespace brelta::testsupport
