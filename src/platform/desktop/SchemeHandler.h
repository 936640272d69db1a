#pragma once

#include <QString>
#include <QStringList>

namespace brelta::platform::desktop {

// Makes "brelta:" links open this program when nothing on the desktop handles them yet (a build run
// from its folder, not installed): writes a desktop entry under $XDG_DATA_HOME/applications that runs
// this executable with the link, and names it the default for x-scheme-handler/brelta in
// $XDG_CONFIG_HOME/mimeapps.list. A handler the user or a package set up is never replaced.
class SchemeHandler
{
public:
    struct Folders
    {
        QString dataHome;       // $XDG_DATA_HOME
        QStringList dataDirs;   // $XDG_DATA_DIRS
        QString configHome;     // $XDG_CONFIG_HOME
        QStringList configDirs; // $XDG_CONFIG_DIRS
        static Folders fromEnvironment();
    };

    enum class Outcome { Registered, Refreshed, HandledElsewhere, Failed };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString detail; // the other handler, or why it failed
    };

    static constexpr QLatin1StringView kMimeType{"x-scheme-handler/brelta"};

    SchemeHandler(QString bundleIdentifier, QString executablePath, Folders folders = Folders::fromEnvironment());

    Result ensureRegistered() const;

    QString desktopId() const { return m_desktopId; }
    QString entryPath() const;
    QString mimeAppsPath() const;

    // The desktop id named as default for `mimeType` in a mimeapps.list text; empty when none.
    static QString defaultHandlerIn(const QString &mimeAppsText, QLatin1StringView mimeType);
    // The text with `desktopId` as default for `mimeType` under [Default Applications]; the rest unchanged.
    static QString withDefaultHandler(const QString &mimeAppsText, QLatin1StringView mimeType,
                                      const QString &desktopId);

private:
    QString existingHandler() const;

    QString m_desktopId;
    QString m_executablePath;
    Folders m_folders;
};

} // namespace brelta::platform::desktop
