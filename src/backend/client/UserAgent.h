#pragma once

#include <QString>
#include <QStringList>

namespace brelta::backend {

// The pieces of the client's user agent:
//   <executable>/<version>/<environment> (<bundle identifier>; build:<build number>; <system> <system version>)
// A piece that is unknown reads "Unknown".
struct UserAgentParts
{
    QString executable;
    QString version;
    QString environment;
    QString bundleIdentifier;
    QString buildNumber;
    QString systemName;
    QString systemVersion;

    // This process: the executable's name from its first launch argument, the compiled-in version,
    // environment, bundle identifier and build number, and the running system's name and version.
    static UserAgentParts current(const QStringList &launchArguments);
};

QString buildUserAgent(const UserAgentParts &parts);

// The last non-empty "/"-separated piece of the first launch argument, or empty.
QString executableNameFrom(const QStringList &launchArguments);

} // namespace brelta::backend
