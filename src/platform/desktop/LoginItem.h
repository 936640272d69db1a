#pragma once

#include <QString>

namespace brelta::platform::desktop {

// Quotes one argument for the Exec key of a desktop entry: in double quotes, with ", `, $ and \ escaped
// by a backslash, % doubled, and then every backslash doubled again as the key's string value requires.
QString quoteExecArgument(const QString &argument);

// Starting at login through an XDG autostart entry: $XDG_CONFIG_HOME/autostart/<bundle id>.desktop, which
// runs this executable. Written afresh on each launch (the program may have moved), atomically. An entry
// the user switched off, in their session settings or by hand (Hidden=true or
// X-GNOME-Autostart-enabled=false), stays switched off.
class LoginItem
{
public:
    struct Result
    {
        bool written = false;
        // The entry existed and was switched off; the new one is too.
        bool keptDisabled = false;
        QString error;
    };

    // `autostartFolder` empty = $XDG_CONFIG_HOME/autostart.
    LoginItem(QString bundleIdentifier, QString executablePath, QString autostartFolder = {});

    Result registerItem() const;

    QString entryPath() const { return m_entryPath; }
    // The entry's text for the given switched-off state.
    QString entryText(bool disabled) const;

    // Whether the entry at `path` was switched off by the user; false when it is missing or unreadable.
    static bool isDisabledEntry(const QString &path);

private:
    QString m_executablePath;
    QString m_entryPath;
};

} // namespace brelta::platform::desktop
