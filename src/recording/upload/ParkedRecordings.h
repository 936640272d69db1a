#pragma once

#include "recording/upload/AudioUploadWorkItem.h"

#include <QStringList>

#include <vector>

namespace brelta::recording {

class RecordingsFolder;
class UploadReports;

// The recordings of a user who signed out, waiting for that user: moved into a folder of theirs below the
// recordings folder (where launch recovery does not look, so nobody else's upload takes them), with their
// queue items in "queue.json" beside them, until the same user signs in again. Main thread only.
class ParkedRecordings
{
public:
    // Both must outlive this.
    ParkedRecordings(const RecordingsFolder *folder, UploadReports *reports);

    // Records `items` in `owner`'s folder first, then moves their files there, except the file at
    // `inUse` (an upload under way: the caller moves it with parkFile() once the upload has ended).
    // Returns the items that could not be parked; they must stay queued.
    std::vector<AudioUploadWorkItem> park(const QString &owner, const std::vector<AudioUploadWorkItem> &items,
                                          const QString &inUse);
    // Moves one recording, whose item park() recorded, into `owner`'s folder.
    bool parkFile(const QString &owner, const QString &path);

    struct Parked
    {
        QString owner;
        QString folder;
        std::vector<AudioUploadWorkItem> items; // to queue again, file URLs pointing into the recordings folder
        QStringList fileNames;                  // the recordings waiting in the folder
        bool damagedRecord = false;             // "queue.json" did not read as a whole
    };
    // What waits for `owner`; empty when nothing does.
    Parked find(const QString &owner) const;
    // Once the items are queued again: moves the files back into the recordings folder and removes the
    // owner's folder when nothing is left in it. Returns the paths of the files moved back that no item
    // names, for the recovery rule.
    QStringList release(const Parked &parked);

private:
    static QString recordPath(const QString &folder);
    std::vector<AudioUploadWorkItem> readRecord(const QString &folder, bool *damaged) const;
    // Moves a damaged record out of the way (kept, not read again) and reports it.
    void setAsideDamagedRecord(const QString &folder) const;
    bool writeRecord(const QString &folder, const std::vector<AudioUploadWorkItem> &items) const;

    const RecordingsFolder *m_folder;
    UploadReports *m_reports;
};

} // namespace brelta::recording
