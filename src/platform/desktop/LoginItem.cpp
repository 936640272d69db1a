#include "platform/desktop/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace brelta::platform::desktop {

QString quoteExecArgument(const QString &argument)
{
    QString quoted;
    quoted.reserve(argument.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        // A field code starts with %; a literal one is written twice.
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    // The Exec value is also a string value, whose own escape character is the backslash.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return quoted;
}

LoginItem::LoginItem(QString bundleIdentifier, QString executablePath, QString autostartFolder)
    : m_executablePath(std::move(executablePath))
{
    if (autostartFolder.isEmpty())
        autostartFolder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
    m_entryPath = QDir(autostartFolder).filePath(bundleIdentifier + QStringLiteral(".desktop"));
}

bool LoginItem::isDisabledEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    bool inMainGroup = false;
    bool disabled = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if ((key == QLatin1String("Hidden") && value == QLatin1String("true"))
            || (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")))
            disabled = true;
    }
    return disabled;
}

QString LoginItem::entryText(bool disabled) const
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Brelta\n"
                                  "Comment=Records your meetings and practice sessions for coaching\n"
                                  "Icon=brelta\n"
                                  "Terminal=false\n");
    text += QStringLiteral("Exec=") + quoteExecArgument(m_executablePath) + QLatin1Char('\n');
    if (disabled)
        text += QStringLiteral("Hidden=true\nX-GNOME-Autostart-enabled=false\n");
    else
        text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text;
}

LoginItem::Result LoginItem::registerItem() const
{
    Result result;
    result.keptDisabled = isDisabledEntry(m_entryPath);
    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath())) {
        result.error = QStringLiteral("cannot create the folder of %1").arg(m_entryPath);
        return result;
    }
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        result.error = QStringLiteral("cannot write %1: %2").arg(m_entryPath, file.errorString());
        return result;
    }
    file.write(entryText(result.keptDisabled).toUtf8());
    if (!file.commit()) {
        result.error = QStringLiteral("cannot write %1: %2").arg(m_entryPath, file.errorString());
        return result;
    }
    result.written = true;
    return result;
}

} // namespace brelta::platform::desktop
