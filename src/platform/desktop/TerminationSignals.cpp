#include "platform/desktop/TerminationSignals.h"

#include <QLoggingCategory>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcTerminationSignals, "brelta.platform.TerminationSignals")

namespace brelta::platform::desktop {

namespace {

// The write end of the pair, for the handler; a handler may only do async-signal-safe work.
int g_signalSockets[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (g_signalSockets[0] != -1) {
        qCWarning(lcTerminationSignals) << "termination signals are already watched";
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSockets) != 0) {
        qCWarning(lcTerminationSignals) << "cannot watch termination signals: no socket pair";
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_signalSockets[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::onReadable);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    m_notifier.reset();
    ::close(g_signalSockets[0]);
    ::close(g_signalSockets[1]);
    g_signalSockets[0] = g_signalSockets[1] = -1;
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    if (::read(g_signalSockets[1], &byte, 1) != 1)
        return;
    qCInfo(lcTerminationSignals) << "received signal" << int(byte);
    emit terminationRequested(int(byte));
}

} // namespace brelta::platform::desktop
