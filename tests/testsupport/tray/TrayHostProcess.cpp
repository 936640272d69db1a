#include "testsupport/tray/TrayHostProcess.h"

#include <QList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace brelta::testsupport {

TrayHostProcess::~TrayHostProcess()
{
    stop();
}

bool TrayHostProcess::startStatusNotifierWatcher(int timeoutMs)
{
    return start(BRELTA_FAKE_SNI_WATCHER, {}, timeoutMs);
}

bool TrayHostProcess::startXEmbedTray()
{
    return start("trayer",
                 {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120", "--height", "28",
                  "--transparent", "false", "--tint", "0x303030"},
                 -1);
}

bool TrayHostProcess::start(const QByteArray &program, const QList<QByteArray> &arguments, int readyTimeoutMs)
{
    int readiness[2];
    if (::pipe2(readiness, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    std::vector<char *> argv{const_cast<char *>(program.constData())};
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_error = QStringLiteral("fork: ") + QString::fromLocal8Bit(std::strerror(errno));
        ::close(readiness[0]);
        ::close(readiness[1]);
        return false;
    }
    if (pid == 0) {
        // The host must not outlive a test that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        if (readyTimeoutMs >= 0)
            ::dup2(readiness[1], STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(readiness[1]);
    m_pid = pid;
    if (readyTimeoutMs < 0) {
        ::close(readiness[0]);
        // A program that cannot be run ends at once.
        ::usleep(100 * 1000);
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            m_pid = -1;
            m_error = QStringLiteral("%1 ended at once (is it installed?)").arg(QString::fromLocal8Bit(program));
            return false;
        }
        return true;
    }

    QByteArray line;
    pollfd waiting{readiness[0], POLLIN, 0};
    while (!line.contains('\n') && ::poll(&waiting, 1, readyTimeoutMs) > 0) {
        char buffer[64];
        const ssize_t n = ::read(readiness[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, n);
    }
    ::close(readiness[0]);
    if (line.startsWith("ready"))
        return true;
    m_error = QStringLiteral("%1 did not start (see its output above)").arg(QString::fromLocal8Bit(program));
    stop();
    return false;
}

void TrayHostProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

} // namespace brelta::testsupport
