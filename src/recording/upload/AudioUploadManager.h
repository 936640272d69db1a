#pragma once

#include "recording/upload/ParkedRecordings.h"
#include "recording/upload/RecordingHandOff.h"
#include "recording/upload/RecordingsFolder.h"
#include "recording/upload/UploadQueueStore.h"
#include "recording/upload/UploadReports.h"
#include "recording/vad/SystemVoiceWorkQueue.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <chrono>
#include <deque>
#include <memory>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::platform {
class Clock;
class ErrorTracker;
class SettingsStore;
class Timer;
} // namespace brelta::platform

namespace brelta::recording {

// How often the retry timer replays the stored queue. "Radip" is the rapid mode's given name.
enum class AudioReuploadMode {
    Background, // every 10800 s, the first pass 1 s after scheduling
    Radip,      // every 300 s, after a failed upload
};

std::chrono::seconds reuploadInterval(AudioReuploadMode mode);

struct AudioUploadManagerServices
{
    backend::ApiClient *api = nullptr;
    // "username" (the signed-in user) and "audioUploadItems" (the queue).
    platform::SettingsStore *settings = nullptr;
    // May be null: no events.
    analytics::AnalyticsManager *analytics = nullptr;
    // May be null: problems are only logged.
    platform::ErrorTracker *errorTracker = nullptr;
    platform::Clock *clock = nullptr;
};

// Sends every finished recording to the backend and keeps the ones still to go in a queue stored in the
// settings, so that they survive a quit, a crash or an outage.
//
// A recording is stored the moment it is handed over (enqueue), then goes through one upload operation
// at a time: the file is checked, compressed when that pays (on a worker thread), posted under the user
// who made it, and deleted with its item once the backend has it. A failure keeps both and brings the
// next pass 300 s later; a success, 1 s later. Each pass replays the stored queue, at most one operation
// per file at a time.
//
// Nothing is sent under another user: each item names its owner and goes out only while that user is
// signed in; the others wait. Signing out sets the queued recordings aside in a folder of their owner's,
// from where they are queued again when the same user signs in.
//
// The stored "fileUrl" is untrusted: the queue reads, sends and deletes only regular files directly inside
// the recordings folder; an item naming anything else is kept, reported once and left alone.
//
// Main thread only; the queue, the timer and the settings stay on it.
class AudioUploadManager : public QObject, public RecordingHandOff
{
    Q_OBJECT

public:
    // Create it before anything records: it sweeps the recordings folder at once, removing what
    // interrupted conversions left and noting the recordings that have no queue item (a crash between the
    // end of a recording and its hand-off) for the first pass to recover. The services must outlive it.
    explicit AudioUploadManager(AudioUploadManagerServices services,
                                const QString &recordingsFolder = RecordingsFolder::defaultPath(),
                                QObject *parent = nullptr);
    ~AudioUploadManager() override;

    // Stores the recording in the queue (under recording.owner, else the signed-in user) and starts its
    // first upload attempt.
    void enqueue(const FinishedRecording &recording) override;

    // Replaces the retry timer: the first pass comes 1 s from now for Background (300 s for Radip), then one
    // every interval of the mode. The shell calls it with Background at launch.
    void scheduleReuploadTimer(AudioReuploadMode mode);
    // One pass now: recordings set aside for the signed-in user are queued again, recordings found at
    // launch without an item are recovered for them, then every stored item gets an upload operation
    // unless it has one. The shell calls it when the machine wakes; a sign-in starts one as well.
    void reuploadAll();
    // The queue's part of signing out: stops the retry timer (no new one until the next launch or upload
    // outcome), drops the operations not started, empties the stored queue and sets each recording aside
    // for its owner. An upload under way may finish: it carries its owner's token.
    void signOut();

    // No operation queued or running, no pass under way.
    bool isIdle() const;
    const RecordingsFolder &recordingsFolder() const { return m_folder; }

signals:
    // The queue has just become idle.
    void idle();

private:
    struct Operation
    {
        QString fileUrl;
        bool isRetry = false;
    };

    void addOperation(const QString &fileUrl, bool isRetry);
    QCoro::Task<> runOperations();
    QCoro::Task<> runOperation(Operation operation);
    QCoro::Task<> runPass();
    QCoro::Task<> recoverFiles(QString owner);
    void restoreParked(const QString &owner);
    void processWorkItem(const AudioUploadWorkItem &item);
    // True when the item may go now: its owner is signed in. An item without owner is adopted.
    bool claimForSignedInUser(AudioUploadWorkItem &item);
    void deleteSentRecording(const AudioUploadWorkItem &item, const QString &path);
    void parkDeferred();
    void sweepFolder();
    QString signedInUser() const;
    void onTimeout();
    void onSettingChanged(const QString &key);
    void emitIfIdle();

    AudioUploadManagerServices m_services;
    RecordingsFolder m_folder;
    UploadReports m_reports;
    UploadQueueStore m_store;
    ParkedRecordings m_parked;

    std::deque<Operation> m_operations; // waiting, in order
    QSet<QString> m_busy;               // file URLs with an operation waiting or running
    bool m_running = false;
    QString m_currentPath;                              // the recording the running operation works on
    QHash<QString, AudioUploadWorkItem> m_parkWhenDone; // path -> item, signed out while in use

    bool m_passRunning = false;
    bool m_passAgain = false;
    QStringList m_recoveryCandidates; // recordings that may have no item, by path
    QString m_lastUser;

    std::unique_ptr<platform::Timer> m_timer;
    AudioReuploadMode m_mode = AudioReuploadMode::Background;
    bool m_firstFirePending = false;

    // Declared last: destroyed first, waiting for a conversion under way before the rest goes.
    SystemVoiceWorkQueue m_worker{QStringLiteral("AudioUploadManager")};
};

} // namespace brelta::recording
