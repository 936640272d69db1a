#include "recording/upload/ParkedRecordings.h"

#include "recording/upload/RecordingsFolder.h"
#include "recording/upload/UploadReports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace brelta::recording {
namespace {

const QString kRecordName = QStringLiteral("queue.json");

bool moveFile(const QString &from, const QString &to)
{
    // rename() within one file system: the recording is in one place or the other, never in neither.
    return !QFileInfo::exists(to)
           && std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

QString fileNameOf(const AudioUploadWorkItem &item)
{
    return QUrl(item.fileUrl).fileName();
}

} // namespace

ParkedRecordings::ParkedRecordings(const RecordingsFolder *folder, UploadReports *reports)
    : m_folder(folder)
    , m_reports(reports)
{}

QString ParkedRecordings::recordPath(const QString &folder)
{
    return QDir(folder).filePath(kRecordName);
}

std::vector<AudioUploadWorkItem> ParkedRecordings::readRecord(const QString &folder, bool *damaged) const
{
    *damaged = false;
    QFile file(recordPath(folder));
    if (!file.exists())
        return {};
    std::vector<AudioUploadWorkItem> items;
    try {
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        const nlohmann::json document = platform::parseJson(file.readAll());
        items = platform::decodeJson<std::vector<AudioUploadWorkItem>>(document);
    } catch (const std::exception &error) {
        m_reports->reportOnce(QStringLiteral("damaged record ") + folder, QStringLiteral("ParkedRecordings"),
                              QStringLiteral("the items of a signed-out user's recordings cannot be read (%1): %2")
                                  .arg(recordPath(folder), QString::fromUtf8(error.what())));
        *damaged = true;
    }
    return items;
}

void ParkedRecordings::setAsideDamagedRecord(const QString &folder) const
{
    const QString aside = QDir(folder).filePath(
        QStringLiteral("queue.unreadable-%1.json").arg(QUuid::createUuid().toString(QUuid::Id128).left(8)));
    if (QFile::rename(recordPath(folder), aside))
        m_reports->report(QStringLiteral("ParkedRecordings"),
                          QStringLiteral("kept an unreadable record of signed-out recordings as ") + aside);
}

bool ParkedRecordings::writeRecord(const QString &folder, const std::vector<AudioUploadWorkItem> &items) const
{
    QSaveFile file(recordPath(folder));
    try {
        const QByteArray text = platform::toJsonText(platform::toJsonValue(items));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
    } catch (const platform::JsonEncodeError &) {
        return false;
    }
}

std::vector<AudioUploadWorkItem>
ParkedRecordings::park(const QString &owner, const std::vector<AudioUploadWorkItem> &items, const QString &inUse)
{
    if (items.empty())
        return {};
    const QString folder = m_folder->parkingFolder(owner);
    bool damaged = false;
    std::vector<AudioUploadWorkItem> recorded =
        QDir().mkpath(folder) ? readRecord(folder, &damaged) : std::vector<AudioUploadWorkItem>();
    if (damaged)
        setAsideDamagedRecord(folder);
    for (const AudioUploadWorkItem &item : items) {
        const bool known = std::any_of(recorded.cbegin(), recorded.cend(), [&item](const AudioUploadWorkItem &other) {
            return other.fileUrl == item.fileUrl;
        });
        if (!known)
            recorded.push_back(item);
    }
    if (!QFileInfo(folder).isDir() || !writeRecord(folder, recorded)) {
        m_reports->report(QStringLiteral("ParkedRecordings"),
                          QStringLiteral("cannot keep the recordings of a signed-out user in ") + folder
                              + QStringLiteral("; they stay queued under their owner"));
        return items;
    }

    std::vector<AudioUploadWorkItem> notParked;
    for (const AudioUploadWorkItem &item : items) {
        const RecordingsFolder::Location location = m_folder->locate(item.fileUrl);
        if (location.kind != RecordingsFolder::Location::Kind::Inside || location.path == inUse)
            continue; // nothing of ours to move; the record keeps the item
        if (!parkFile(owner, location.path))
            notParked.push_back(item);
    }
    return notParked;
}

bool ParkedRecordings::parkFile(const QString &owner, const QString &path)
{
    const QString target = QDir(m_folder->parkingFolder(owner)).filePath(QFileInfo(path).fileName());
    if (moveFile(path, target))
        return true;
    m_reports->report(QStringLiteral("ParkedRecordings"),
                      QStringLiteral("cannot move %1 to %2; it stays queued under its owner").arg(path, target));
    return false;
}

ParkedRecordings::Parked ParkedRecordings::find(const QString &owner) const
{
    Parked parked;
    parked.owner = owner;
    parked.folder = m_folder->parkingFolder(owner);
    if (owner.isEmpty() || !QFileInfo(parked.folder).isDir())
        return parked;
    parked.items = readRecord(parked.folder, &parked.damagedRecord);
    for (AudioUploadWorkItem &item : parked.items) {
        // Parked recordings go back to where their item said they were.
        if (m_folder->locate(item.fileUrl).kind == RecordingsFolder::Location::Kind::Missing
            || QFileInfo::exists(QDir(parked.folder).filePath(fileNameOf(item))))
            item.fileUrl = QUrl::fromLocalFile(m_folder->filePath(fileNameOf(item))).toString(QUrl::FullyEncoded);
        item.username = owner;
    }
    for (const QString &name : QDir(parked.folder).entryList(QDir::Files | QDir::NoSymLinks, QDir::Name)) {
        if (RecordingsFolder::purposeOfRecordingName(name)
            || std::any_of(parked.items.cbegin(), parked.items.cend(),
                           [&name](const AudioUploadWorkItem &item) { return fileNameOf(item) == name; }))
            parked.fileNames << name;
    }
    return parked;
}

QStringList ParkedRecordings::release(const Parked &parked)
{
    if (parked.owner.isEmpty() || !QFileInfo(parked.folder).isDir())
        return {};
    QStringList withoutItem;
    bool everyFileBack = true;
    for (const QString &name : parked.fileNames) {
        const QString target = m_folder->filePath(name);
        if (!moveFile(QDir(parked.folder).filePath(name), target)) {
            m_reports->report(QStringLiteral("ParkedRecordings"),
                              QStringLiteral("cannot move %1 back to %2").arg(name, m_folder->path()));
            everyFileBack = false;
            continue;
        }
        const bool named = std::any_of(parked.items.cbegin(), parked.items.cend(),
                                       [&name](const AudioUploadWorkItem &item) { return fileNameOf(item) == name; });
        if (!named)
            withoutItem << target;
    }
    if (parked.damagedRecord)
        setAsideDamagedRecord(parked.folder);
    else if (everyFileBack) // else the record stays, for the recording left behind
        QFile::remove(recordPath(parked.folder));
    QDir().rmdir(parked.folder); // only when empty
    QDir().rmdir(QFileInfo(parked.folder).absolutePath());
    return withoutItem;
}

} // namespace brelta::recording
