#include "recording/session/RecordingsFolder.h"

#include "recording/recorders/RecorderErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

namespace brelta::recording {

QString recordingsDirectoryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/brelta");
}

QString recordingsDirectory(const QString &path)
{
    const QString cannotCreate = QStringLiteral("cannot create the recordings folder");
    if (path.isEmpty())
        throw AudioRecorderError(cannotCreate, QStringLiteral("no data folder is known for this user"));
    const QFileInfo info(path);
    if (info.isDir())
        return info.absoluteFilePath();
    if (info.exists())
        throw AudioRecorderError(cannotCreate, path + QStringLiteral(" exists and is not a folder"));
    if (!QDir().mkpath(path))
        throw AudioRecorderError(cannotCreate, path
                                                   + QStringLiteral(": a parent folder is missing its write permission "
                                                                    "or is a plain file"));
    return QFileInfo(path).absoluteFilePath();
}

QString newRecordingFileName(RecordingPurpose purpose)
{
    return rawValue(purpose) + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128).toLower()
           + QStringLiteral(".m4a");
}

} // namespace brelta::recording
