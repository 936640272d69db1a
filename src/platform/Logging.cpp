#include "platform/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QStandardPaths>

#include <cstdio>

namespace brelta::platform {
namespace {

struct LogSink
{
    QMutex mutex;
    QString directory;
    QFile file;
};

LogSink &sink()
{
    static LogSink instance;
    return instance;
}

QString defaultDirectory()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/brelta/log");
}

QString logPath(const QString &directory, int index)
{
    const QString base = directory + QStringLiteral("/brelta.log");
    return index == 0 ? base : base + QLatin1Char('.') + QString::number(index);
}

void rotateLocked(LogSink &s)
{
    s.file.close();
    QFile::remove(logPath(s.directory, Logging::keptFiles));
    for (int i = Logging::keptFiles - 1; i >= 0; --i)
        QFile::rename(logPath(s.directory, i), logPath(s.directory, i + 1));
    s.file.setFileName(logPath(s.directory, 0));
    s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = QStringLiteral("%1 %2 %3: %4\n")
                                .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                                     QLatin1String(context.category ? context.category : "default"),
                                     QLatin1String(levelName(type)), message)
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);

    LogSink &s = sink();
    QMutexLocker lock(&s.mutex);
    if (s.file.isOpen()) {
        if (s.file.size() + line.size() > Logging::maxFileBytes)
            rotateLocked(s);
        s.file.write(line);
        s.file.flush();
    }
}

} // namespace

void Logging::install(const QString &logDirectory)
{
    LogSink &s = sink();
    {
        QMutexLocker lock(&s.mutex);
        s.directory = logDirectory.isEmpty() ? defaultDirectory() : logDirectory;
        QDir().mkpath(s.directory);
        s.file.close();
        s.file.setFileName(logPath(s.directory, 0));
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            std::fprintf(stderr, "brelta: cannot open log file %s\n", qPrintable(s.file.fileName()));
    }
    qInstallMessageHandler(handleMessage);
}

QString Logging::currentLogFile()
{
    LogSink &s = sink();
    QMutexLocker lock(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

} // namespace brelta::platform
