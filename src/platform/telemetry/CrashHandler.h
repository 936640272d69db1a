#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

namespace brelta::platform {

// Writes a small report when the process dies of a fatal signal (SIGSEGV, SIGABRT, SIGBUS, SIGILL,
// SIGFPE): the signal, the time, the release and environment and a symbolised backtrace. The handler
// uses only async-signal-safe calls on buffers prepared at install time, then hands the signal on to
// whatever handled it before (normally the default action, which ends the process).
class CrashHandler
{
public:
    struct Identity
    {
        QString release;
        QString environment;
    };

    // Reports go to `<directory>/crash-<pid>.report`. Installing again replaces the directory and
    // identity; one handler serves the whole process.
    static bool install(const QString &directory, const Identity &identity);
    static void uninstall();
    static bool isInstalled();

    static constexpr const char *kReportSuffix = ".report";
};

// A report that a crashed run left behind, read back by the next start.
struct CrashReport
{
    int signal = 0;
    qint64 time = 0; // seconds since the epoch
    QString release;
    QString environment;
    QList<QByteArray> backtrace; // innermost frame first, as backtrace_symbols prints them

    // Nothing when the text is not a report (the caller sets the file aside).
    static std::optional<CrashReport> parse(const QByteArray &text);

    // The error event this report becomes: level fatal, the signal as the exception, the backtrace as
    // its stack trace (outermost frame first, as the ingest format wants).
    nlohmann::ordered_json toEvent(const QString &eventId) const;
};

} // namespace brelta::platform
