#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

namespace brelta::platform {

// Writes a small report when the process dies of a fatal signal (SIGSEGV, SIGABRT, SIGBUS, SIGILL,
// SIGFPE): the signal, the time, the release and environment, the user, the modules loaded at install
// time (with their load address and build id, so a server can symbolicate) and a backtrace that starts
// at the interrupted instruction, the handler's own frames left out. The handler uses only
// async-signal-safe calls on buffers prepared beforehand, then hands the signal on to whatever handled
// it before (normally the default action, which ends the process).
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
    // The user the next report names; nothing = none. Any thread, any time.
    static void setUser(const std::optional<QString> &userId);

    static constexpr const char *kReportSuffix = ".report";
};

// A report that a crashed run left behind, read back by the next start.
struct CrashReport
{
    // A module mapped into the crashed process.
    struct Image
    {
        quint64 start = 0;  // where its ELF header was loaded
        quint64 end = 0;    // one past its last loaded byte
        QByteArray buildId; // lower-case hex; empty when the module carries none
        QString path;
    };

    int signal = 0;
    qint64 time = 0; // seconds since the epoch
    QString release;
    QString environment;
    std::optional<QString> userId;
    QList<Image> images;
    QList<QByteArray> backtrace; // innermost frame first, as backtrace_symbols prints them

    // Nothing when the text is not a report (the caller sets the file aside).
    static std::optional<CrashReport> parse(const QByteArray &text);

    // The error event this report becomes: level fatal, the signal as the exception, the backtrace as
    // its stack trace (outermost frame first, as the ingest format wants). A frame inside a known module
    // carries its offset in it ("addr_mode": "rel:<n>"), and the modules go along as debug images.
    nlohmann::ordered_json toEvent(const QString &eventId) const;
};

// The debug identifier the error-ingest protocol derives from an ELF build id given in hex: its first 16
// bytes (zero-padded) as a GUID whose first three fields are stored little-endian. Empty for an empty or
// malformed id.
QString debugIdFromBuildId(const QByteArray &buildIdHex);

} // namespace brelta::platform
