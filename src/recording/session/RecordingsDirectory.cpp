#include "recording/session/RecordingsDirectory.h"

#include "recording/recorders/RecorderErrors.h"

#include <QFileInfo>
#include <QUuid>

namespace brelta::recording {

QString recordingsDirectory(const QString &path)
{
    const QString cannotCreate = QStringLiteral("cannot create the recordings folder");
    // An empty path would mean the working folder.
    if (path.isEmpty())
        throw AudioRecorderError(cannotCreate, QStringLiteral("no data folder is known for this user"));
    const RecordingsFolder folder(path);
    const QFileInfo info(folder.path());
    if (info.exists() && !info.isDir())
        throw AudioRecorderError(cannotCreate, folder.path() + QStringLiteral(" exists and is not a folder"));
    if (!folder.ensureExists())
        throw AudioRecorderError(cannotCreate, folder.path()
                                                   + QStringLiteral(": a parent folder is missing its write "
                                                                    "permission or is a plain file"));
    return folder.path();
}

QString newRecordingFileName(RecordingPurpose purpose)
{
    return rawValue(purpose) + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128).toLower()
           + QStringLiteral(".m4a");
}

} // namespace brelta::recording
