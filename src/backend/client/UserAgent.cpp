#include "backend/client/UserAgent.h"

#include "platform/BuildInfo.h"
#include "platform/Environment.h"

#include <QSysInfo>

namespace brelta::backend {
namespace {

QString orUnknown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("Unknown") : value;
}

} // namespace

QString executableNameFrom(const QStringList &launchArguments)
{
    if (launchArguments.isEmpty())
        return {};
    const QStringList pieces = launchArguments.first().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? QString() : pieces.last();
}

UserAgentParts UserAgentParts::current(const QStringList &launchArguments)
{
    UserAgentParts parts;
    parts.executable = executableNameFrom(launchArguments);
    parts.version = QString::fromLatin1(buildinfo::kVersion);
    parts.environment = QString::fromLatin1(platform::environmentName(platform::currentEnvironment()));
    parts.bundleIdentifier = QString::fromLatin1(buildinfo::kBundleIdentifier);
    parts.buildNumber = QString::fromLatin1(buildinfo::kBuildNumber);
    // "debian" / "12", "ubuntu" / "24.04"; on an unrecognised system Qt answers "unknown".
    const QString product = QSysInfo::productType();
    if (product == QLatin1String("unknown")) {
        parts.systemName = QSysInfo::kernelType();
        parts.systemVersion = QSysInfo::kernelVersion();
    } else {
        parts.systemName = product;
        parts.systemVersion = QSysInfo::productVersion();
    }
    return parts;
}

QString buildUserAgent(const UserAgentParts &parts)
{
    return orUnknown(parts.executable) + QLatin1Char('/') + orUnknown(parts.version) + QLatin1Char('/')
           + orUnknown(parts.environment) + QStringLiteral(" (") + orUnknown(parts.bundleIdentifier)
           + QStringLiteral("; build:") + orUnknown(parts.buildNumber) + QStringLiteral("; ")
           + orUnknown(parts.systemName) + QLatin1Char(' ') + orUnknown(parts.systemVersion) + QLatin1Char(')');
}

} // namespace brelta::backend
