#include "testsupport/tray/StatusNotifierWatcherProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brelta::testsupport {

StatusNotifierWatcherProcess::~StatusNotifierWatcherProcess()
{
    stop();
}

bool StatusNotifierWatcherProcess::start(int timeoutMs)
{
    int readiness[2];
    if (::pipe2(readiness, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_error = QStringLiteral("fork: ") + QString::fromLocal8Bit(std::strerror(errno));
        ::close(readiness[0]);
        ::close(readiness[1]);
        return false;
    }
    if (pid == 0) {
        // The watcher must not outlive a test that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::dup2(readiness[1], STDOUT_FILENO);
        ::execl(BRELTA_FAKE_SNI_WATCHER, BRELTA_FAKE_SNI_WATCHER, static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(readiness[1]);
    m_pid = pid;

    QByteArray line;
    pollfd waiting{readiness[0], POLLIN, 0};
    while (!line.contains('\n') && ::poll(&waiting, 1, timeoutMs) > 0) {
        char buffer[64];
        const ssize_t n = ::read(readiness[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, n);
    }
    ::close(readiness[0]);
    if (line.startsWith("ready"))
        return true;
    m_error = QStringLiteral("the fake StatusNotifierWatcher did not start (see its output above)");
    stop();
    return false;
}

void StatusNotifierWatcherProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

} // namespace brelta::testsupport
