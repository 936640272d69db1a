#pragma once

#include <QString>

namespace brelta::platform {

// Sends every log line to stderr and to a size-rotated file in the application's state folder
// (`$XDG_STATE_HOME/brelta/log/brelta.log`, falling back to `~/.local/state`). Each component declares
// its own QLoggingCategory next to its code; this only decides where lines go.
class Logging
{
public:
    // Installs the message handler. `logDirectory` empty = the state folder above.
    static void install(const QString &logDirectory = {});

    // The file currently written, empty before install().
    static QString currentLogFile();

    // Rotation limits: when the current file passes maxFileBytes it becomes brelta.log.1 and older files
    // shift up; at most keptFiles old files remain.
    static constexpr qint64 maxFileBytes = 2 * 1024 * 1024;
    static constexpr int keptFiles = 3;
};

} // namespace brelta::platform
