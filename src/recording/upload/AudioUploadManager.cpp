#include "recording/upload/AudioUploadManager.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "backend/client/ApiClient.h"
#include "backend/client/ApiErrors.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "recording/upload/RecordingCheck.h"
#include "recording/upload/UploadCompression.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <map>

namespace brelta::recording {

namespace event = analytics::event;
using Kind = RecordingsFolder::Location::Kind;

namespace {

// What the three upload events say about one attempt.
struct UploadFacts
{
    QString format;
    QString title;
    qint64 lengthSeconds = 0;
    qint64 sizeBytes = 0; // before compression
    bool isRetry = false;

    template<typename Event>
    Event event() const
    {
        Event built;
        built.mediaFormat = format;
        built.recordingTitle = title;
        built.recordingLengthSec = lengthSeconds;
        built.recordingSizeBytes = sizeBytes;
        built.isRetry = isRetry;
        return built;
    }
};

// The size the file system reports; nothing when it cannot say (which is not the same as empty).
std::optional<qint64> fileSize(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.st_size);
}

// The type and text an error report carries for a failed upload.
std::pair<QString, QString> describeFailure(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const backend::ApiClientException &error) {
        return {QStringLiteral("ApiClientError"), QString::fromUtf8(error.what())};
    } catch (const backend::HttpFailure &error) {
        return {QStringLiteral("HttpFailure"), QString::fromUtf8(error.what())};
    } catch (const platform::AppError &error) {
        return {QStringLiteral("AppError"), error.message()};
    } catch (const std::exception &error) {
        return {QStringLiteral("Error"), QString::fromUtf8(error.what())};
    } catch (...) {
        return {QStringLiteral("Error"), QStringLiteral("unknown failure")};
    }
}

QString fileUrlOf(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

} // namespace

std::chrono::seconds reuploadInterval(AudioReuploadMode mode)
{
    return mode == AudioReuploadMode::Radip ? std::chrono::seconds(300) : std::chrono::seconds(10800);
}

AudioUploadManager::AudioUploadManager(AudioUploadManagerServices services, const QString &recordingsFolder,
                                       QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_folder(recordingsFolder)
    , m_reports(services.errorTracker)
    , m_store(services.settings, &m_reports)
    , m_parked(&m_folder, &m_reports)
    , m_timer(services.clock->createTimer())
{
    m_lastUser = signedInUser();
    connect(m_timer.get(), &platform::Timer::timeout, this, &AudioUploadManager::onTimeout);
    connect(m_services.settings, &platform::SettingsStore::changed, this, &AudioUploadManager::onSettingChanged);
    sweepFolder();
}

AudioUploadManager::~AudioUploadManager() = default;

QString AudioUploadManager::signedInUser() const
{
    return m_services.settings->value(platform::settings::kUsername);
}

bool AudioUploadManager::isIdle() const
{
    return !m_running && m_operations.empty() && !m_passRunning;
}

void AudioUploadManager::emitIfIdle()
{
    if (isIdle())
        emit idle();
}

// Launch -----------------------------------------------------------------------------------------------

void AudioUploadManager::sweepFolder()
{
    for (const QString &name : m_folder.fileNames()) {
        const QString path = m_folder.filePath(name);
        if (RecordingsFolder::isLeftoverName(name)) {
            if (QFile::remove(path))
                qCInfo(lcAudioUpload).noquote() << "removed what an interrupted conversion left:" << path;
        } else if (RecordingsFolder::purposeOfRecordingName(name)) {
            m_recoveryCandidates << QFileInfo(path).canonicalFilePath();
        }
    }
}

QCoro::Task<> AudioUploadManager::recoverFiles(QString owner)
{
    QPointer<AudioUploadManager> self(this);
    struct Found
    {
        QString path;
        RecordingPurpose purpose;
        RecordingCheck check;
        QDateTime modified;
    };
    // Only recordings that no item names: most of what launch noted is queued already.
    QSet<QString> queuedPaths;
    for (const AudioUploadWorkItem &item : m_store.items()) {
        const RecordingsFolder::Location location = m_folder.locate(item.fileUrl);
        if (location.kind == Kind::Inside)
            queuedPaths.insert(location.path);
    }
    auto found = std::make_shared<std::vector<Found>>();
    const QStringList candidates = std::exchange(m_recoveryCandidates, {});
    for (const QString &path : candidates) {
        const std::optional<RecordingPurpose> purpose =
            RecordingsFolder::purposeOfRecordingName(QFileInfo(path).fileName());
        if (purpose && !queuedPaths.contains(path) && path != m_currentPath)
            found->push_back({path, *purpose, {}, {}});
    }
    if (found->empty())
        co_return;

    QCoro::Task<> checking = m_worker.run([found] {
        for (Found &file : *found) {
            file.check = checkFinishedRecording(file.path, file.purpose);
            file.modified = QFileInfo(file.path).lastModified().toUTC();
        }
    });
    co_await std::move(checking);
    if (!self)
        co_return;
    if (signedInUser() != owner) {
        m_recoveryCandidates += candidates; // signed out meanwhile: they wait for the next user
        co_return;
    }

    std::vector<AudioUploadWorkItem> recovered;
    for (const Found &file : *found) {
        switch (file.check.outcome) {
        case RecordingCheck::Outcome::Accepted: {
            // The file was last written when the recording ended.
            AudioUploadWorkItem item;
            item.fileUrl = fileUrlOf(file.path);
            item.recordingEndDate = workItemDate(file.modified);
            item.recordingStartDate = workItemDate(file.modified.addMSecs(-qint64(file.check.length * 1000)));
            item.recordingDurationSeconds = file.check.seconds;
            item.recordingPurpose = file.purpose;
            item.username = owner;
            recovered.push_back(std::move(item));
            qCInfo(lcAudioUpload).noquote() << "recovered a recording that had no queue item:" << file.path;
            break;
        }
        case RecordingCheck::Outcome::TooShort:
            if (QFile::remove(file.path))
                qCInfo(lcAudioUpload).noquote() << "removed a recording left behind too short to send:" << file.path;
            else
                m_reports.reportOnce(QStringLiteral("undeletable ") + file.path, QStringLiteral("AppError"),
                                     file.check.error + QStringLiteral("; the file cannot be deleted: ") + file.path);
            break;
        case RecordingCheck::Outcome::Unreadable:
            m_reports.reportOnce(QStringLiteral("unreadable ") + file.path, QStringLiteral("AppError"),
                                 file.check.error + QStringLiteral("; the file is kept"));
            break;
        case RecordingCheck::Outcome::Missing:
            break;
        }
    }
    if (!recovered.empty()) {
        m_store.update([&recovered](std::vector<AudioUploadWorkItem> &items) {
            for (AudioUploadWorkItem &item : recovered) {
                if (std::none_of(items.cbegin(), items.cend(),
                                 [&item](const AudioUploadWorkItem &queued) { return queued.fileUrl == item.fileUrl; }))
                    items.push_back(std::move(item));
            }
        });
    }
}

// Passes and the timer -----------------------------------------------------------------------------------

void AudioUploadManager::scheduleReuploadTimer(AudioReuploadMode mode)
{
    m_timer->stop();
    m_mode = mode;
    const std::chrono::milliseconds interval = reuploadInterval(mode);
    const std::chrono::milliseconds first = mode == AudioReuploadMode::Background ? std::chrono::seconds(1) : interval;
    m_firstFirePending = first != interval;
    m_timer->start(first, m_firstFirePending ? platform::Timer::Mode::SingleShot : platform::Timer::Mode::Repeating);
}

void AudioUploadManager::onTimeout()
{
    if (m_firstFirePending) {
        m_firstFirePending = false;
        m_timer->start(reuploadInterval(m_mode), platform::Timer::Mode::Repeating);
    }
    reuploadAll();
}

void AudioUploadManager::onSettingChanged(const QString &key)
{
    if (key != platform::settings::kUsername.storedName())
        return;
    const QString user = signedInUser();
    const bool signedIn = !user.isEmpty() && user != m_lastUser;
    m_lastUser = user;
    if (signedIn)
        reuploadAll(); // what waits for this user goes now, not at the next launch
}

void AudioUploadManager::reuploadAll()
{
    runPass();
}

QCoro::Task<> AudioUploadManager::runPass()
{
    if (m_passRunning) {
        m_passAgain = true;
        co_return;
    }
    QPointer<AudioUploadManager> self(this);
    m_passRunning = true;
    do {
        m_passAgain = false;
        const QString user = signedInUser();
        if (!user.isEmpty()) {
            restoreParked(user);
            if (!m_recoveryCandidates.isEmpty()) {
                QCoro::Task<> recovering = recoverFiles(user);
                co_await std::move(recovering);
                if (!self)
                    co_return;
            }
        }
        for (const AudioUploadWorkItem &item : m_store.items())
            processWorkItem(item);
    } while (m_passAgain);
    m_passRunning = false;
    emitIfIdle();
}

void AudioUploadManager::processWorkItem(const AudioUploadWorkItem &item)
{
    if (!QUrl(item.fileUrl).isValid() || !readWorkItemDate(item.recordingStartDate)
        || !readWorkItemDate(item.recordingEndDate)) {
        qCWarning(lcAudioUpload).noquote() << "cannot read the upload item of" << item.fileUrl << "dated"
                                           << item.recordingStartDate << "to" << item.recordingEndDate;
        m_reports.reportOnce(QStringLiteral("unprocessable ") + QString::fromUtf8(platform::toJsonText(item.toJson())),
                             QStringLiteral("AppError"), QStringLiteral("Failed to process AudioUploadWorkItem"));
        return;
    }
    addOperation(item.fileUrl, true);
}

void AudioUploadManager::restoreParked(const QString &owner)
{
    const ParkedRecordings::Parked parked = m_parked.find(owner);
    if (parked.items.empty() && parked.fileNames.isEmpty())
        return;
    // The items first: should the program stop between the two steps, the record still names every file.
    const bool queued = m_store.update([&parked](std::vector<AudioUploadWorkItem> &items) {
        for (const AudioUploadWorkItem &item : parked.items) {
            if (std::none_of(items.cbegin(), items.cend(),
                             [&item](const AudioUploadWorkItem &other) { return other.fileUrl == item.fileUrl; }))
                items.push_back(item);
        }
    });
    if (!queued)
        return;
    m_recoveryCandidates += m_parked.release(parked);
    qCInfo(lcAudioUpload).noquote() << "queued again" << parked.fileNames.size() << "recordings set aside for" << owner;
}

// Operations ------------------------------------------------------------------------------------------

void AudioUploadManager::enqueue(const FinishedRecording &recording)
{
    AudioUploadWorkItem item;
    item.fileUrl = fileUrlOf(recording.filePath);
    item.recordingStartDate = workItemDate(recording.startTime);
    item.recordingEndDate = workItemDate(recording.endTime);
    item.recordingDurationSeconds = recording.durationSeconds;
    item.recordingPurpose = recording.purpose;
    item.sourceParams = recording.sourceParams;
    const QString owner = recording.owner.isEmpty() ? signedInUser() : recording.owner;
    if (!owner.isEmpty())
        item.username = owner;
    // Stored before anything else happens to it: from here on a quit or a crash loses nothing.
    m_store.add(item);
    addOperation(item.fileUrl, false);
}

void AudioUploadManager::addOperation(const QString &fileUrl, bool isRetry)
{
    if (m_busy.contains(fileUrl))
        return;
    m_busy.insert(fileUrl);
    m_operations.push_back({fileUrl, isRetry});
    if (!m_running)
        runOperations();
}

QCoro::Task<> AudioUploadManager::runOperations()
{
    QPointer<AudioUploadManager> self(this);
    m_running = true;
    while (!m_operations.empty()) {
        const Operation operation = m_operations.front();
        m_operations.pop_front();
        try {
            QCoro::Task<> running = runOperation(operation);
            co_await std::move(running);
        } catch (const std::exception &error) {
            qCCritical(lcAudioUpload).noquote() << "upload operation failed unexpectedly:" << error.what();
        }
        if (!self)
            co_return;
        m_busy.remove(operation.fileUrl);
        m_currentPath.clear();
        parkDeferred();
    }
    m_running = false;
    emitIfIdle();
}

bool AudioUploadManager::claimForSignedInUser(AudioUploadWorkItem &item)
{
    const QString user = signedInUser();
    if (user.isEmpty())
        return false;
    if (item.hasOwner())
        return *item.username == user;
    item.username = user;
    m_store.replace(item);
    return true;
}

QCoro::Task<> AudioUploadManager::runOperation(Operation operation)
{
    QPointer<AudioUploadManager> self(this);
    std::optional<AudioUploadWorkItem> item = m_store.find(operation.fileUrl);
    if (!item)
        co_return; // sent, gone or set aside since the operation was queued

    const RecordingsFolder::Location location = m_folder.locate(item->fileUrl);
    if (location.kind == Kind::Elsewhere) {
        m_reports.reportOnce(QStringLiteral("elsewhere ") + item->fileUrl, QStringLiteral("AudioUploadWorkItem"),
                             QStringLiteral("an upload item names a file the queue does not touch (%1): %2")
                                 .arg(location.problem, item->fileUrl));
        co_return;
    }
    if (location.kind == Kind::Missing) {
        qCInfo(lcAudioUpload).noquote() << "the recording is gone; dropping its item:" << item->fileUrl;
        m_store.remove(item->fileUrl);
        co_return;
    }
    const QString path = location.path;
    if (!claimForSignedInUser(*item))
        co_return; // waits for its owner
    if (item->isSent.value_or(false)) {
        deleteSentRecording(*item, path);
        co_return;
    }
    const std::optional<QDateTime> start = readWorkItemDate(item->recordingStartDate);
    const std::optional<QDateTime> end = readWorkItemDate(item->recordingEndDate);
    if (!start || !end) {
        processWorkItem(*item); // reports it
        co_return;
    }

    const QFileInfo file(path);
    const std::optional<qint64> size = fileSize(path);
    const UploadFacts facts{file.suffix(), file.fileName(), item->recordingDurationSeconds, size.value_or(0),
                            operation.isRetry};
    if (size && *size == 0) {
        m_store.remove(item->fileUrl);
        if (!QFile::remove(path))
            m_reports.report(QStringLiteral("AppError"), QStringLiteral("cannot delete the empty recording ") + path);
        co_return;
    }

    QString failureType;
    QString failure;
    bool answerUnreadable = false;
    if (!size) {
        failureType = QStringLiteral("AppError");
        failure = QStringLiteral("cannot read the size of ") + path;
    } else {
        qCInfo(lcAudioUpload).noquote() << "prepare to upload:" << item->fileUrl;
        m_currentPath = path;
        auto compression = std::make_shared<CompressionResult>();
        QCoro::Task<> compressing = m_worker.run([path, compression] { *compression = compressForUpload(path); });
        co_await std::move(compressing);
        if (!self)
            co_return;
        if (compression->outcome == CompressionResult::Outcome::Failed)
            m_reports.report(QStringLiteral("AudioCompressionError"),
                             QStringLiteral("the recording is sent unconverted: ") + compression->detail);
        else if (compression->outcome == CompressionResult::Outcome::Converted)
            qCInfo(lcAudioUpload).noquote() << "compressed" << path << '-' << compression->detail;

        // Right before it goes: still queued, and its owner still the signed-in user.
        const std::optional<AudioUploadWorkItem> current = m_store.find(operation.fileUrl);
        if (!current || current->username != item->username || signedInUser() != *item->username)
            co_return;

        if (m_services.analytics)
            m_services.analytics->send(facts.event<event::RecordingUploadStarted>());
        backend::ApiDto::UploadAudioParams params{*item->username, *start, *end,
                                                  item->recordingPurpose == RecordingPurpose::Onboarding
                                                      ? backend::ApiDto::SessionType::Onboarding
                                                      : backend::ApiDto::SessionType::Default,
                                                  item->sourceParams};
        std::exception_ptr error;
        try {
            QCoro::Task<QString> uploading = m_services.api->uploadAudio(path, params);
            const QString message = co_await std::move(uploading);
            qCInfo(lcAudioUpload).noquote() << "upload successfully:" << message;
        } catch (const platform::JsonDecodeError &) {
            answerUnreadable = true; // a 2xx: the backend has the recording
        } catch (...) {
            error = std::current_exception();
        }
        if (!self)
            co_return;
        if (error)
            std::tie(failureType, failure) = describeFailure(error);
    }

    if (!failure.isEmpty()) {
        qCCritical(lcAudioUpload).noquote() << "fail to upload/cleanup:" << failure;
        if (m_services.analytics) {
            auto failed = facts.event<event::RecordingUploadFailed>();
            failed.reason = failure;
            m_services.analytics->send(failed);
        }
        m_reports.report(failureType, failure);
        scheduleReuploadTimer(AudioReuploadMode::Radip);
        co_return;
    }

    // Sent. Whatever happens to the file now, the recording must not go a second time.
    if (answerUnreadable)
        m_reports.report(QStringLiteral("UploadAudioResponse"),
                         QStringLiteral("the backend took %1 but its answer does not read").arg(file.fileName()));
    if (QFile::remove(path) || !QFileInfo::exists(path)) {
        qCInfo(lcAudioUpload) << "uploaded file deleted successfully";
        m_store.remove(item->fileUrl);
    } else {
        AudioUploadWorkItem sent = *item;
        sent.isSent = true;
        m_store.replace(sent);
        m_reports.reportOnce(
            QStringLiteral("undeletable ") + item->fileUrl, QStringLiteral("AppError"),
            QStringLiteral("the backend has %1 but it cannot be deleted; passes retry the deletion").arg(path));
    }
    scheduleReuploadTimer(AudioReuploadMode::Background);
    if (m_services.analytics)
        m_services.analytics->send(facts.event<event::RecordingSent>());
}

void AudioUploadManager::deleteSentRecording(const AudioUploadWorkItem &item, const QString &path)
{
    if (!QFile::remove(path)) {
        m_reports.reportOnce(
            QStringLiteral("undeletable ") + item.fileUrl, QStringLiteral("AppError"),
            QStringLiteral("the backend has %1 but it cannot be deleted; passes retry the deletion").arg(path));
        return;
    }
    qCInfo(lcAudioUpload).noquote() << "deleted a recording the backend already had:" << path;
    m_store.remove(item.fileUrl);
}

// Sign-out ----------------------------------------------------------------------------------------------

void AudioUploadManager::signOut()
{
    m_timer->stop();
    m_firstFirePending = false;
    for (const Operation &operation : m_operations)
        m_busy.remove(operation.fileUrl);
    m_operations.clear();

    // An item without owner belongs to whoever signs out now; if nobody is known, it leaves the queue and
    // its file stays where launch recovery finds it.
    const QString signingOut = signedInUser();
    std::map<QString, std::vector<AudioUploadWorkItem>> byOwner;
    for (AudioUploadWorkItem &item : m_store.items()) {
        if (!item.hasOwner() && !signingOut.isEmpty())
            item.username = signingOut;
        if (item.hasOwner())
            byOwner[*item.username].push_back(std::move(item));
    }
    std::vector<AudioUploadWorkItem> stay;
    for (const auto &[owner, items] : byOwner) {
        for (const AudioUploadWorkItem &item : items) {
            const RecordingsFolder::Location location = m_folder.locate(item.fileUrl);
            if (location.kind == Kind::Inside && !m_currentPath.isEmpty() && location.path == m_currentPath)
                m_parkWhenDone.insert(location.path, item);
        }
        for (AudioUploadWorkItem &item : m_parked.park(owner, items, m_currentPath))
            stay.push_back(std::move(item));
    }
    m_store.update([&stay](std::vector<AudioUploadWorkItem> &items) { items = stay; });
    qCInfo(lcAudioUpload) << "signed out; queued recordings set aside for their owners";
    emitIfIdle();
}

void AudioUploadManager::parkDeferred()
{
    for (auto it = m_parkWhenDone.begin(); it != m_parkWhenDone.end(); it = m_parkWhenDone.erase(it)) {
        if (!QFileInfo::exists(it.key()))
            continue; // sent and deleted
        if (!m_parked.parkFile(*it->username, it.key()))
            m_store.add(it.value()); // kept queued under its owner rather than found by the next user
    }
}

} // namespace brelta::recording
