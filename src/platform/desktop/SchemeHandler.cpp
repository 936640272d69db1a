#include "platform/desktop/SchemeHandler.h"

#include "platform/desktop/LoginItem.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QSettings>

Q_LOGGING_CATEGORY(lcSchemeHandler, "brelta.platform.SchemeHandler")

namespace brelta::platform::desktop {

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool writeText(const QString &path, const QString &text, QString *error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool isGroupHeader(const QString &line)
{
    return line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
}

// The desktop entries under a data folder's "applications" that say they open `mimeType`.
QString entryDeclaring(const QString &applicationsFolder, QLatin1StringView mimeType)
{
    QDirIterator it(applicationsFolder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        for (const QString &line : readText(path).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("MimeType="))
                && line.mid(9).split(QLatin1Char(';')).contains(QString(mimeType)))
                return QDir(applicationsFolder).relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-'));
        }
    }
    return {};
}

} // namespace

SchemeHandler::Folders SchemeHandler::Folders::fromEnvironment()
{
    const auto folderOr = [](const char *variable, const QString &fallback) {
        const QString value = qEnvironmentVariable(variable);
        return value.isEmpty() ? fallback : value;
    };
    const auto listOr = [](const char *variable, const QString &fallback) {
        const QString value = qEnvironmentVariable(variable);
        return (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    };
    Folders folders;
    folders.dataHome = folderOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
    folders.configHome = folderOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    folders.dataDirs = listOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    folders.configDirs = listOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    return folders;
}

SchemeHandler::SchemeHandler(QString bundleIdentifier, QString executablePath, Folders folders)
    : m_desktopId(bundleIdentifier + QStringLiteral(".desktop"))
    , m_executablePath(std::move(executablePath))
    , m_folders(std::move(folders))
{}

QString SchemeHandler::entryPath() const
{
    return QDir(m_folders.dataHome).filePath(QStringLiteral("applications/") + m_desktopId);
}

QString SchemeHandler::mimeAppsPath() const
{
    return QDir(m_folders.configHome).filePath(QStringLiteral("mimeapps.list"));
}

QString SchemeHandler::defaultHandlerIn(const QString &mimeAppsText, QLatin1StringView mimeType)
{
    bool inDefaults = false;
    const QString prefix = QString(mimeType) + QLatin1Char('=');
    for (QString line : mimeAppsText.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (isGroupHeader(line))
            inDefaults = line == QLatin1String("[Default Applications]");
        else if (inDefaults && line.startsWith(prefix))
            return line.mid(prefix.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts).value(0).trimmed();
    }
    return {};
}

QString SchemeHandler::withDefaultHandler(const QString &mimeAppsText, QLatin1StringView mimeType,
                                          const QString &desktopId)
{
    QStringList lines = mimeAppsText.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QString entry = QString(mimeType) + QLatin1Char('=') + desktopId + QLatin1Char(';');
    const QString prefix = QString(mimeType) + QLatin1Char('=');
    qsizetype group = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (isGroupHeader(line)) {
            if (group >= 0)
                break;
            if (line == QLatin1String("[Default Applications]"))
                group = i;
        } else if (group >= 0 && line.startsWith(prefix)) {
            lines[i] = entry;
            return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    if (group >= 0) {
        lines.insert(group + 1, entry);
    } else {
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("[Default Applications]") << entry;
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString SchemeHandler::existingHandler() const
{
    QStringList mimeAppsLists{mimeAppsPath()};
    for (const QString &dir : m_folders.configDirs)
        mimeAppsLists << QDir(dir).filePath(QStringLiteral("mimeapps.list"));
    mimeAppsLists << QDir(m_folders.dataHome).filePath(QStringLiteral("applications/mimeapps.list"));
    for (const QString &dir : m_folders.dataDirs)
        mimeAppsLists << QDir(dir).filePath(QStringLiteral("applications/mimeapps.list"));
    for (const QString &list : mimeAppsLists) {
        const QString handler = defaultHandlerIn(readText(list), kMimeType);
        if (!handler.isEmpty())
            return handler;
    }
    // An installed entry that declares the type handles it without being the named default.
    QStringList applicationFolders{QDir(m_folders.dataHome).filePath(QStringLiteral("applications"))};
    for (const QString &dir : m_folders.dataDirs)
        applicationFolders << QDir(dir).filePath(QStringLiteral("applications"));
    for (const QString &folder : applicationFolders) {
        const QString handler = entryDeclaring(folder, kMimeType);
        if (!handler.isEmpty())
            return handler;
    }
    return {};
}

SchemeHandler::Result SchemeHandler::ensureRegistered() const
{
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Brelta\n"
                                         "Exec=%1 %u\n"
                                         "Icon=%2\n"
                                         "NoDisplay=true\n"
                                         "MimeType=%3;\n")
                              .arg(quoteExecArgument(m_executablePath), m_desktopId.chopped(8), QString(kMimeType));
    const QString handler = existingHandler();
    if (!handler.isEmpty()) {
        // Our own entry, written by an earlier run: keep it pointing at this executable.
        if (handler == m_desktopId && QFile::exists(entryPath()) && readText(entryPath()) != entry) {
            QString error;
            if (!writeText(entryPath(), entry, &error))
                return {Outcome::Failed, error};
            return {Outcome::Refreshed, handler};
        }
        return {Outcome::HandledElsewhere, handler};
    }
    QString error;
    if (!writeText(entryPath(), entry, &error)
        || !writeText(mimeAppsPath(), withDefaultHandler(readText(mimeAppsPath()), kMimeType, m_desktopId), &error))
        return {Outcome::Failed, error};
    qCInfo(lcSchemeHandler).noquote() << "brelta: links now open" << m_executablePath;
    return {Outcome::Registered, m_desktopId};
}

} // namespace brelta::platform::desktop
