#pragma once

#include "recording/upload/AudioUploadWorkItem.h"

#include <functional>
#include <optional>
#include <vector>

namespace brelta::platform {
class SettingsStore;
}

namespace brelta::recording {

class UploadReports;

// The stored upload queue ("audioUploadItems"), read and written on the main thread only.
//
// Nothing stored is ever dropped because part of it is bad: an element that does not decode is reported
// once and written back unchanged after the readable items; a stored text that is no JSON array at all is
// saved to a file beside the settings file, and reported, before the first write replaces it.
class UploadQueueStore
{
public:
    // Both must outlive the store.
    UploadQueueStore(platform::SettingsStore *settings, UploadReports *reports);

    // The items that decode, in queue order.
    std::vector<AudioUploadWorkItem> items() const;
    std::optional<AudioUploadWorkItem> find(const QString &fileUrl) const;

    // Reads the queue, lets `change` edit its items and stores the result. Returns false when the result
    // could not be stored; it is then kept in memory, read back by items() and stored again with the next
    // change, so this run loses nothing (and the files stay where launch recovery finds them).
    bool update(const std::function<void(std::vector<AudioUploadWorkItem> &)> &change);

    // Appends the item unless one with its file URL is queued.
    bool add(const AudioUploadWorkItem &item);
    bool remove(const QString &fileUrl);
    // Replaces the queued item with the same file URL; false when there is none or it was not stored.
    bool replace(const AudioUploadWorkItem &item);

private:
    struct Snapshot
    {
        std::vector<AudioUploadWorkItem> items;
        std::vector<nlohmann::json> keptRawItems;
        std::optional<QString> unreadableText;
    };
    Snapshot read() const;
    // The path of the file the text went to; nothing when it could not be saved.
    std::optional<QString> saveAside(const QString &text) const;

    platform::SettingsStore *m_settings;
    UploadReports *m_reports;
    // What the last failed write meant to store.
    std::optional<std::vector<AudioUploadWorkItem>> m_unsaved;
};

} // namespace brelta::recording
