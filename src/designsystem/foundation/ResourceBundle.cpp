#include "designsystem/foundation/ResourceBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcResourceBundle, "brelta.designsystem.ResourceBundle")

namespace brelta::designsystem {

namespace {
bool isBundle(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/palette.csv")).isFile();
}
} // namespace

QStringList ResourceBundle::candidateFolders()
{
    QStringList folders;
    const QString appDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    const QString installedResources =
        appDir.isEmpty() ? QString() : QDir::cleanPath(appDir + QStringLiteral("/../share/brelta"));
    folders << installedResources << QStringLiteral(":") << appDir;
    return folders;
}

std::optional<QString> ResourceBundle::find(const QStringList &candidateFolders)
{
    for (const QString &folder : candidateFolders) {
        if (folder.isEmpty())
            continue;
        const QString bundle = folder + QLatin1Char('/') + QLatin1String(bundleName);
        if (isBundle(bundle)) {
            qCDebug(lcResourceBundle) << "using kit resources at" << bundle;
            return bundle;
        }
    }
    return std::nullopt;
}

QString ResourceBundle::require(const QStringList &candidateFolders)
{
    if (auto bundle = find(candidateFolders))
        return *bundle;
    qFatal("%s", fatalMessage);
}

const QString &ResourceBundle::path()
{
    static const QString bundle = require(candidateFolders());
    return bundle;
}

} // namespace brelta::designsystem
