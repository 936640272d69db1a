// brelta-devserver: the local backend for `scripts/run` and for trying the app by hand.
#include "devserver/DevServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM end the event loop. A signal handler may only write to a pipe; the loop reads it.
class SignalQuitter
{
public:
    SignalQuitter()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_fds) != 0) {
            std::fprintf(stderr, "brelta-devserver: cannot watch for signals; Ctrl-C ends it without clean-up\n");
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(s_fds[1], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, qApp, [] {
            char signalNumber = 0;
            [[maybe_unused]] const auto got = ::read(s_fds[1], &signalNumber, 1);
            QCoreApplication::quit();
        });
        struct sigaction action = {};
        action.sa_handler = [](int signalNumber) {
            const char byte = char(signalNumber);
            [[maybe_unused]] const auto sent = ::write(s_fds[0], &byte, 1);
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }

private:
    static inline int s_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

QString defaultUploadDirectory()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/brelta-devserver/uploads");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brelta-devserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The local backend of Brelta: sign-in, gateway, messages and uploads, in memory."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on."),
                                        QStringLiteral("port"), QStringLiteral("8787"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption uploadOption(QStringLiteral("upload-dir"),
                                          QStringLiteral("Folder for uploaded recordings."), QStringLiteral("folder"),
                                          defaultUploadDirectory());
    parser.addOptions({portOption, hostOption, uploadOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    const QHostAddress host(parser.value(hostOption));
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "brelta-devserver: --port needs a number from 0 to 65535\n");
        return 2;
    }
    if (host.isNull()) {
        std::fprintf(stderr, "brelta-devserver: --host needs an IP address such as 127.0.0.1\n");
        return 2;
    }

    brelta::devserver::DevServer::Options options;
    options.uploadDirectory = QDir(parser.value(uploadOption)).absolutePath();
    // Someone trying the app by hand gets meetings to join once they connect the calendar.
    options.demoCalendarDay = true;
    brelta::devserver::DevServer server(options);
    if (!server.listen(host, quint16(port))) {
        std::fprintf(stderr, "brelta-devserver: cannot listen on %s port %u\n", qPrintable(host.toString()), port);
        return 1;
    }
    SignalQuitter quitter;

    std::printf("brelta-devserver listening on %s\n", qPrintable(server.baseUrl().toString()));
    std::printf("  sign in with e-mail %s and password %s\n", qPrintable(server.seededUser().email),
                qPrintable(server.seededUser().password));
    std::printf("  uploads are saved under %s\n", qPrintable(server.uploadDirectory()));
    std::printf("  connecting Google Calendar fills it with a demo day of meetings\n");
    std::fflush(stdout);

    const int status = app.exec();
    std::printf("brelta-devserver stopped\n");
    return status;
}
