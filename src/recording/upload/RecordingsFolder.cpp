#include "recording/upload/RecordingsFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace brelta::recording {

QString RecordingsFolder::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/brelta");
}

RecordingsFolder::RecordingsFolder(QString path) : m_path(QDir::cleanPath(QDir(path).absolutePath())) {}

QString RecordingsFolder::filePath(const QString &fileName) const
{
    return QDir(m_path).filePath(fileName);
}

bool RecordingsFolder::ensureExists() const
{
    return QDir().mkpath(m_path);
}

std::optional<RecordingPurpose> RecordingsFolder::purposeOfRecordingName(const QString &fileName)
{
    static const QRegularExpression name(QStringLiteral("^([a-z]+)_[0-9a-f]{32}\\.m4a$"));
    const QRegularExpressionMatch match = name.match(fileName);
    return match.hasMatch() ? recordingPurposeFromRawValue(match.captured(1)) : std::nullopt;
}

bool RecordingsFolder::isLeftoverName(const QString &fileName)
{
    static const QRegularExpression conversion(QStringLiteral("^convert_[0-9A-Fa-f-]{36}\\.m4a$"));
    static const QRegularExpression rewrite(QStringLiteral("^\\..+\\.partial\\.[^.]+$"));
    return conversion.match(fileName).hasMatch() || rewrite.match(fileName).hasMatch();
}

QStringList RecordingsFolder::fileNames() const
{
    return QDir(m_path).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
}

QString RecordingsFolder::canonicalPath() const
{
    const QString canonical = QFileInfo(m_path).canonicalFilePath();
    return canonical.isEmpty() ? m_path : canonical;
}

RecordingsFolder::Location RecordingsFolder::locate(const QString &fileUrl) const
{
    using Kind = Location::Kind;
    const QUrl url(fileUrl, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return {Kind::Elsewhere, {}, QStringLiteral("not a local file URL")};
    const QString path = QDir::cleanPath(url.toLocalFile());
    const QFileInfo info(path);
    if (!info.isAbsolute())
        return {Kind::Elsewhere, {}, QStringLiteral("not an absolute path")};

    const QString folder = canonicalPath();
    if (!info.exists() && !info.isSymLink()) {
        const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (parent == folder || info.absolutePath() == m_path)
            return {Kind::Missing, path, {}};
        return {Kind::Elsewhere, {}, QStringLiteral("not in the recordings folder")};
    }
    if (info.isSymLink())
        return {Kind::Elsewhere, {}, QStringLiteral("a symbolic link")};
    const QFileInfo target(info.canonicalFilePath());
    if (info.canonicalFilePath().isEmpty() || !target.isFile())
        return {Kind::Elsewhere, {}, QStringLiteral("not a regular file")};
    if (target.absolutePath() != folder)
        return {Kind::Elsewhere, {}, QStringLiteral("not in the recordings folder")};
    return {Kind::Inside, target.absoluteFilePath(), {}};
}

QString RecordingsFolder::parkingFolder(const QString &owner) const
{
    // Percent-encoded, dots included, so no user name can climb out of the folder or hide in it.
    const QByteArray encoded = QUrl::toPercentEncoding(owner, QByteArray(), QByteArrayLiteral("."));
    return QDir(m_path).filePath(QStringLiteral("signed-out/") + QString::fromLatin1(encoded));
}

} // namespace brelta::recording
