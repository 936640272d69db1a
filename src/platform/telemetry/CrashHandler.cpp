#include "platform/telemetry/CrashHandler.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace brelta::platform {
namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGABRT, SIGBUS, SIGILL, SIGFPE};
constexpr int kMaxFrames = 64;
constexpr const char *kMagic = "brelta-crash-report 1";

// Everything the handler touches is prepared here beforehand: it may not allocate or lock.
struct HandlerState
{
    char reportPath[4096] = {};
    char header[2048] = {};
    size_t headerLength = 0;
    struct sigaction previous[std::size(kFatalSignals)] = {};
    std::atomic<bool> installed{false};
    std::atomic<bool> handling{false};
    std::unique_ptr<char[]> alternateStack;
};

HandlerState g_state;

void writeAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written <= 0)
            return;
        data += written;
        length -= size_t(written);
    }
}

void writeText(int fd, const char *text)
{
    writeAll(fd, text, std::strlen(text));
}

void writeNumber(int fd, long long value)
{
    char digits[24];
    int position = sizeof(digits);
    const bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
    do {
        digits[--position] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (negative)
        digits[--position] = '-';
    writeAll(fd, digits + position, sizeof(digits) - size_t(position));
}

void handleFatalSignal(int signalNumber, siginfo_t *, void *)
{
    if (!g_state.handling.exchange(true)) {
        const int fd = ::open(g_state.reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            writeAll(fd, g_state.header, g_state.headerLength);
            writeText(fd, "signal ");
            writeNumber(fd, signalNumber);
            writeText(fd, "\ntime ");
            writeNumber(fd, static_cast<long long>(::time(nullptr)));
            writeText(fd, "\nbacktrace\n");
            void *frames[kMaxFrames];
            const int count = ::backtrace(frames, kMaxFrames);
            ::backtrace_symbols_fd(frames, count, fd);
            ::close(fd);
        }
    }
    // Hand the signal on: the earlier disposition (normally the default, which ends the process) takes
    // it once this handler returns and the signal is unblocked.
    for (size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (kFatalSignals[i] == signalNumber)
            ::sigaction(signalNumber, &g_state.previous[i], nullptr);
    }
    ::raise(signalNumber);
}

bool copyInto(char *buffer, size_t capacity, const QByteArray &text)
{
    if (size_t(text.size()) >= capacity)
        return false;
    std::memcpy(buffer, text.constData(), size_t(text.size()));
    buffer[text.size()] = '\0';
    return true;
}

const char *signalName(int number)
{
    switch (number) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    }
    return "SIGNAL";
}

QString demangled(const QString &symbol)
{
    int status = 0;
    const QByteArray mangled = symbol.toLatin1();
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? QString::fromLatin1(name.get()) : symbol;
}

// "/usr/lib/libc.so.6(abort+0xd3)[0x7f9f8e044472]" or "/usr/bin/brelta(+0x19fe1)[0x5641a4da9fe1]"
// -> package, function (when the symbol is exported), address.
nlohmann::ordered_json frameFromLine(const QByteArray &line)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(.*?)(?:\(([^+()]*)(?:\+(0x[0-9a-fA-F]+))?\))? ?\[(0x[0-9a-fA-F]+)\]$)"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLocal8Bit(line));
    nlohmann::ordered_json frame = nlohmann::ordered_json::object();
    if (!match.hasMatch()) {
        frame["function"] = line.toStdString();
        return frame;
    }
    if (!match.captured(2).isEmpty())
        frame["function"] = demangled(match.captured(2)).toStdString();
    if (!match.captured(1).isEmpty())
        frame["package"] = match.captured(1).toStdString();
    frame["instruction_addr"] = match.captured(4).toStdString();
    return frame;
}

} // namespace

bool CrashHandler::install(const QString &directory, const Identity &identity)
{
    if (!QDir().mkpath(directory))
        return false;
    const QByteArray path =
        QDir(directory)
            .filePath(QStringLiteral("crash-%1%2").arg(::getpid()).arg(QLatin1String(kReportSuffix)))
            .toLocal8Bit();
    const QByteArray header = QByteArray(kMagic) + "\nrelease " + identity.release.toUtf8() + "\nenvironment "
                              + identity.environment.toUtf8() + '\n';
    uninstall();
    if (!copyInto(g_state.reportPath, sizeof(g_state.reportPath), path)
        || !copyInto(g_state.header, sizeof(g_state.header), header))
        return false;
    g_state.headerLength = size_t(header.size());

    // backtrace() loads its unwinder on first use, which allocates: do that now, not in the handler.
    void *warmUp[1];
    ::backtrace(warmUp, 1);

    // A stack overflow leaves no stack for the handler: give it its own.
    if (!g_state.alternateStack) {
        const size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
        g_state.alternateStack = std::make_unique<char[]>(size);
        stack_t stack{};
        stack.ss_sp = g_state.alternateStack.get();
        stack.ss_size = size;
        ::sigaltstack(&stack, nullptr);
    }

    struct sigaction action
    {};
    action.sa_sigaction = &handleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kFatalSignals.size(); ++i)
        ::sigaction(kFatalSignals[i], &action, &g_state.previous[i]);
    g_state.installed = true;
    return true;
}

void CrashHandler::uninstall()
{
    if (!g_state.installed.exchange(false))
        return;
    for (size_t i = 0; i < kFatalSignals.size(); ++i)
        ::sigaction(kFatalSignals[i], &g_state.previous[i], nullptr);
}

bool CrashHandler::isInstalled()
{
    return g_state.installed;
}

std::optional<CrashReport> CrashReport::parse(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != kMagic)
        return std::nullopt;
    CrashReport report;
    bool inBacktrace = false;
    bool hasSignal = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (inBacktrace) {
            if (!line.isEmpty())
                report.backtrace.append(line);
        } else if (line == "backtrace") {
            inBacktrace = true;
        } else if (line.startsWith("signal ")) {
            report.signal = line.mid(7).toInt(&hasSignal);
        } else if (line.startsWith("time ")) {
            report.time = line.mid(5).toLongLong();
        } else if (line.startsWith("release ")) {
            report.release = QString::fromUtf8(line.mid(8));
        } else if (line.startsWith("environment ")) {
            report.environment = QString::fromUtf8(line.mid(12));
        }
    }
    // A crash while the report was being written can cut it short; the signal line is the least we need.
    if (!hasSignal)
        return std::nullopt;
    return report;
}

nlohmann::ordered_json CrashReport::toEvent(const QString &eventId) const
{
    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (auto it = backtrace.crbegin(); it != backtrace.crend(); ++it)
        frames.push_back(frameFromLine(*it));

    nlohmann::ordered_json exception = {
        {"type", signalName(signal)},
        {"value", QString::fromLocal8Bit(::strsignal(signal)).toStdString()},
        {"mechanism",
         {{"type", "signalhandler"},
          {"handled", false},
          {"meta", {{"signal", {{"number", signal}, {"name", signalName(signal)}}}}}}},
        {"stacktrace", {{"frames", frames}}},
    };
    nlohmann::ordered_json event = {
        {"event_id", eventId.toStdString()},
        {"timestamp", QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString(Qt::ISODate).toStdString()},
        {"platform", "native"},
        {"level", "fatal"},
        {"exception", {{"values", nlohmann::ordered_json::array({exception})}}},
    };
    if (!release.isEmpty())
        event["release"] = release.toStdString();
    if (!environment.isEmpty())
        event["environment"] = environment.toStdString();
    return event;
}

} // namespace brelta::platform
