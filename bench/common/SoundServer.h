#pragma once

// Shared by the benchmarks, included by relative path: header-only, so no library of its own.
//
// The sound server's side of a recording: its CPU time (the stream and sample-rate conversions our choice of
// formats makes it do) and the conversions themselves, as the server lists them. The server's process is
// testsupport::soundServerPid(), which the tests use too.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

#include <optional>

namespace brelta::bench {

// CPU seconds (user + system) a process has used so far; nullopt when it cannot be read.
inline std::optional<double> processCpuSeconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // The command name is in parentheses and may hold spaces: count the fields after its closing one.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong()); // utime, stime
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// One line per record stream named in `streams`: "<stream>: <source format> -> <stream format> (<resampler>)",
// or "<stream>: <format>, no conversion" when the server hands the source's audio over unchanged.
inline QStringList soundServerConversions(const QStringList &streams)
{
    const auto run = [](const QStringList &arguments) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), arguments);
        pactl.waitForFinished(5000);
        return QString::fromUtf8(pactl.readAllStandardOutput());
    };
    // Source index -> its sample format.
    QMap<QString, QString> sourceFormats;
    QString index;
    for (const QString &line : run({QStringLiteral("list"), QStringLiteral("sources")}).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (line.startsWith(QLatin1String("Source #")))
            index = line.mid(8).trimmed();
        else if (trimmed.startsWith(QLatin1String("Sample Specification:")))
            sourceFormats[index] = trimmed.section(QLatin1Char(':'), 1).trimmed();
    }
    QStringList conversions;
    QString source, format, resampler, name;
    const auto flush = [&] {
        if (name.isEmpty() || !streams.contains(name))
            return;
        const QString from = sourceFormats.value(source);
        conversions << (from == format ? QStringLiteral("%1: %2, no conversion").arg(name, format)
                                       : QStringLiteral("%1: %2 -> %3 (%4)").arg(name, from, format, resampler));
        name.clear();
    };
    for (const QString &line :
         run({QStringLiteral("list"), QStringLiteral("source-outputs")}).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (line.startsWith(QLatin1String("Source Output #"))) {
            flush();
            source.clear();
            format.clear();
            resampler.clear();
        } else if (trimmed.startsWith(QLatin1String("Source:"))) {
            source = trimmed.section(QLatin1Char(':'), 1).trimmed();
        } else if (trimmed.startsWith(QLatin1String("Sample Specification:"))) {
            format = trimmed.section(QLatin1Char(':'), 1).trimmed();
        } else if (trimmed.startsWith(QLatin1String("Resample method:"))) {
            resampler = trimmed.section(QLatin1Char(':'), 1).trimmed();
        } else if (trimmed.startsWith(QLatin1String("media.name = "))) {
            name = trimmed.section(QLatin1Char('"'), 1, 1);
        }
    }
    flush();
    return conversions;
}

} // namespace brelta::bench
