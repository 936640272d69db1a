#pragma once

#include "recording/recorders/RecordingPurpose.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace brelta::recording {

// The folder that holds finished recordings until the backend has them, and the rules about what in it
// is ours. The upload queue acts only on regular files directly inside it: a stored item is untrusted
// input, and an item naming any other file must never make the queue read, send or delete that file.
class RecordingsFolder
{
public:
    // "brelta" in the application's data folder (QStandardPaths::AppDataLocation).
    static QString defaultPath();

    explicit RecordingsFolder(QString path);

    const QString &path() const { return m_path; }
    QString filePath(const QString &fileName) const;
    // Creates the folder when it is missing; false when it cannot.
    bool ensureExists() const;

    // The purpose that starts a name the recording session gives its files: "practice_" or
    // "onboarding_", 32 lower-case hex digits, ".m4a". Nothing for any other name.
    static std::optional<RecordingPurpose> purposeOfRecordingName(const QString &fileName);
    // What an interrupted conversion leaves: "convert_<UUID>.m4a", or a hidden "….partial.…" rewrite.
    static bool isLeftoverName(const QString &fileName);

    // The names of the regular files directly inside the folder, hidden ones included.
    QStringList fileNames() const;

    struct Location
    {
        enum class Kind {
            Inside,    // `path`: the canonical path of a regular file directly inside the folder
            Missing,   // `path`: nothing there, and the path is directly inside the folder
            Elsewhere, // anything else; `problem` says what
        };
        Kind kind = Kind::Elsewhere;
        QString path;
        QString problem;
    };
    // Where a stored "fileUrl" points. A symbolic link is elsewhere, wherever it leads; the folder itself
    // may be reached through links.
    Location locate(const QString &fileUrl) const;

    // The folder where a signed-out user's recordings wait for that user (`owner` is not empty). It lies
    // below this folder, where nothing that looks for recordings looks.
    QString parkingFolder(const QString &owner) const;

private:
    QString canonicalPath() const;

    QString m_path;
};

} // namespace brelta::recording
