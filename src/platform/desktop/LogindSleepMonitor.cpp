#include "platform/desktop/LogindSleepMonitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSleepMonitor, "brelta.platform.LogindSleepMonitor")

namespace brelta::platform::desktop {

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

LogindSleepMonitor::LogindSleepMonitor(QDBusConnection systemBus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(systemBus))
{
    if (!m_bus.isConnected()) {
        qCInfo(lcSleepMonitor) << "no system bus: recordings are not stopped before the machine sleeps";
        return;
    }
    if (!m_bus.interface() || !m_bus.interface()->isServiceRegistered(kService)) {
        qCInfo(lcSleepMonitor)
            << "logind is not on the system bus: recordings are not stopped before the machine sleeps";
        return;
    }
    m_watching = m_bus.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                               SLOT(onPrepareForSleep(bool)));
    if (!m_watching)
        qCWarning(lcSleepMonitor).noquote()
            << "cannot watch logind's sleep announcements:" << m_bus.lastError().message();
}

LogindSleepMonitor::~LogindSleepMonitor() = default;

void LogindSleepMonitor::onPrepareForSleep(bool sleeping)
{
    qCInfo(lcSleepMonitor) << (sleeping ? "the machine is about to sleep" : "the machine woke");
    if (sleeping)
        emit aboutToSleep();
    else
        emit woke();
}

void LogindSleepMonitor::holdSleepDelay(const QString &why)
{
    m_wanted = true;
    if (!m_watching || m_asking || m_lock.isValid())
        return;
    m_asking = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Brelta") << why << QStringLiteral("delay");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
        if (reply.isError()) {
            qCWarning(lcSleepMonitor).noquote() << "logind refused a sleep delay:" << reply.error().message();
            emit sleepDelayAnswered(false);
            return;
        }
        if (!m_wanted) {
            // Released while asking: the descriptor closes with the reply.
            emit sleepDelayAnswered(false);
            return;
        }
        m_lock = reply.value();
        emit sleepDelayAnswered(m_lock.isValid());
    });
}

void LogindSleepMonitor::releaseSleepDelay()
{
    m_wanted = false;
    if (m_lock.isValid())
        qCDebug(lcSleepMonitor) << "releasing the sleep delay";
    m_lock = QDBusUnixFileDescriptor();
}

} // namespace brelta::platform::desktop
