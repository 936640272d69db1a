#include "recording/upload/UploadQueueStore.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "recording/upload/UploadReports.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>

namespace brelta::recording {

namespace settings = platform::settings;

UploadQueueStore::UploadQueueStore(platform::SettingsStore *settings, UploadReports *reports)
    : m_settings(settings)
    , m_reports(reports)
{}

UploadQueueStore::Snapshot UploadQueueStore::read() const
{
    platform::StoredArray<AudioUploadWorkItem> stored =
        m_settings->readArray<AudioUploadWorkItem>(settings::kAudioUploadItems);
    for (const platform::StoredArrayFailure &failure : stored.failures) {
        const QString raw = QString::fromStdString(failure.rawItem.dump());
        m_reports->reportOnce(QStringLiteral("unreadable item ") + raw, QStringLiteral("AudioUploadWorkItem"),
                              QStringLiteral("a stored upload item cannot be read and is kept as it is: ")
                                  + failure.error);
    }
    Snapshot snapshot{std::move(stored.items), stored.failedRawItems(), std::move(stored.unreadableText)};
    if (m_unsaved)
        snapshot.items = *m_unsaved;
    return snapshot;
}

std::vector<AudioUploadWorkItem> UploadQueueStore::items() const
{
    return read().items;
}

std::optional<AudioUploadWorkItem> UploadQueueStore::find(const QString &fileUrl) const
{
    for (AudioUploadWorkItem &item : read().items) {
        if (item.fileUrl == fileUrl)
            return std::move(item);
    }
    return std::nullopt;
}

bool UploadQueueStore::update(const std::function<void(std::vector<AudioUploadWorkItem> &)> &change)
{
    Snapshot snapshot = read();
    change(snapshot.items);
    if (snapshot.unreadableText) {
        const std::optional<QString> aside = saveAside(*snapshot.unreadableText);
        if (!aside) {
            m_reports->reportOnce(QStringLiteral("queue text not saved aside"), QStringLiteral("AudioUploadQueue"),
                                  QStringLiteral("the stored upload queue is not a JSON array and could not be saved "
                                                 "aside; it is left as it is and the queue is kept in memory"));
            m_unsaved = std::move(snapshot.items);
            return false;
        }
        m_reports->report(QStringLiteral("AudioUploadQueue"),
                          QStringLiteral("the stored upload queue was not a JSON array; it was saved to ") + *aside);
    }
    if (!m_settings->writeArray(settings::kAudioUploadItems, snapshot.items, snapshot.keptRawItems)) {
        m_reports->reportOnce(QStringLiteral("queue not saved"), QStringLiteral("AudioUploadQueue"),
                              QStringLiteral("the upload queue could not be saved; it is kept in memory"));
        m_unsaved = std::move(snapshot.items);
        return false;
    }
    m_unsaved.reset();
    return true;
}

bool UploadQueueStore::add(const AudioUploadWorkItem &item)
{
    return update([&item](std::vector<AudioUploadWorkItem> &items) {
        const bool queued = std::any_of(items.cbegin(), items.cend(), [&item](const AudioUploadWorkItem &other) {
            return other.fileUrl == item.fileUrl;
        });
        if (!queued)
            items.push_back(item);
    });
}

bool UploadQueueStore::remove(const QString &fileUrl)
{
    return update([&fileUrl](std::vector<AudioUploadWorkItem> &items) {
        std::erase_if(items, [&fileUrl](const AudioUploadWorkItem &item) { return item.fileUrl == fileUrl; });
    });
}

bool UploadQueueStore::replace(const AudioUploadWorkItem &item)
{
    bool found = false;
    const bool stored = update([&item, &found](std::vector<AudioUploadWorkItem> &items) {
        for (AudioUploadWorkItem &queued : items) {
            if (queued.fileUrl == item.fileUrl) {
                queued = item;
                found = true;
            }
        }
    });
    return found && stored;
}

std::optional<QString> UploadQueueStore::saveAside(const QString &text) const
{
    const QDir folder = QFileInfo(m_settings->filePath()).absoluteDir();
    const QString path =
        folder.filePath(QStringLiteral("%1.unreadable-%2-%3.txt")
                            .arg(settings::kAudioUploadItems.storedName(),
                                 QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")),
                                 QUuid::createUuid().toString(QUuid::Id128).left(8)));
    QSaveFile file(path);
    if (!folder.mkpath(QStringLiteral(".")) || !file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0
        || !file.commit())
        return std::nullopt;
    return path;
}

} // namespace brelta::recording
