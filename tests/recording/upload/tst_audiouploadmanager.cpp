#include "UploadFixture.h"

#include "platform/WireTime.h"
#include "platform/audio/AudioFileInfo.h"
#include "testsupport/AudioFixtures.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTest>

using namespace brelta;
using namespace brelta::testsupport;
using namespace std::chrono_literals;
using recording::AudioReuploadMode;
using recording::AudioUploadWorkItem;
using recording::RecordingPurpose;
using SourceParams = std::optional<QMap<QString, QString>>;

Q_DECLARE_METATYPE(SourceParams)
Q_DECLARE_METATYPE(brelta::recording::RecordingPurpose)
Q_DECLARE_METATYPE(brelta::devserver::CannedResponse)

namespace {

const QString kUploadPath = QStringLiteral("/upload");
const QString kOtherUser = QStringLiteral("someone.else@brelta.test");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString text(const nlohmann::json &value)
{
    return value.is_string() ? QString::fromStdString(value.get<std::string>()) : QString::fromStdString(value.dump());
}

// A stored item as another launch (or an older version) left it.
AudioUploadWorkItem storedItem(const QString &path, std::optional<QString> owner, qint64 seconds = 2)
{
    AudioUploadWorkItem item;
    item.fileUrl = UploadFixture::fileUrl(path);
    item.recordingStartDate = QStringLiteral("2024-03-05T15:00:00+0100");
    item.recordingEndDate = QStringLiteral("2024-03-05T15:00:02+0100");
    item.recordingDurationSeconds = seconds;
    item.username = std::move(owner);
    return item;
}

} // namespace

class AudioUploadManagerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<UploadFixture> f;

private slots:
    void init() { f = std::make_unique<UploadFixture>(); }
    void cleanup() { f.reset(); }

    void aRecordingIsStoredAtHandOffThenSentAndDeleted_data()
    {
        QTest::addColumn<QStringList>("codec");
        QTest::addColumn<int>("channels");
        QTest::addColumn<RecordingPurpose>("purpose");
        QTest::addColumn<SourceParams>("sourceParams");
        QTest::addColumn<bool>("converted");
        QTest::newRow("32 kbit/s microphone recording, sent as it is")
            << QStringList{"-c:a", "aac", "-b:a", "32k"} << 1 << RecordingPurpose::Practice << SourceParams() << false;
        QTest::newRow("128 kbit/s recording, sent as 64 kbit/s mono")
            << QStringList{"-c:a", "aac", "-b:a", "128k"} << 2 << RecordingPurpose::Practice << SourceParams() << true;
        QTest::newRow("onboarding recording with source parameters")
            << QStringList{"-c:a", "aac", "-b:a", "32k"} << 1 << RecordingPurpose::Onboarding
            << SourceParams(QMap<QString, QString>{{"meetingId", "42"}}) << false;
    }

    void aRecordingIsStoredAtHandOffThenSentAndDeleted()
    {
        QFETCH(QStringList, codec);
        QFETCH(int, channels);
        QFETCH(RecordingPurpose, purpose);
        QFETCH(SourceParams, sourceParams);
        QFETCH(bool, converted);
        auto &manager = f->start();
        const QString path = f->makeRecording(6.0, codec, recording::rawValue(purpose), channels);
        const QByteArray original = readAll(path);
        const recording::FinishedRecording finished = f->finished(path, 6, purpose, sourceParams);

        manager.enqueue(finished);
        // Stored before enqueue returned: a crash from here on loses nothing.
        const std::vector<AudioUploadWorkItem> stored = f->storedItems();
        QCOMPARE(stored.size(), std::size_t(1));
        QCOMPARE(stored[0].fileUrl, UploadFixture::fileUrl(path));
        QCOMPARE(stored[0].username, std::optional(f->signedInUser()));
        QCOMPARE(platform::wiretime::parseWithOffset(stored[0].recordingStartDate), std::optional(finished.startTime));
        QCOMPARE(stored[0].recordingDurationSeconds, 6);
        QCOMPARE(stored[0].recordingPurpose, purpose);
        QCOMPARE(stored[0].sourceParams, sourceParams);

        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), 1);
        const devserver::ReceivedUpload &upload = f->backend.server.uploads().first();
        QCOMPARE(upload.part("username")->body, f->signedInUser().toUtf8());
        QCOMPARE(platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("endTime")->body)),
                 std::optional(finished.endTime));
        QCOMPARE(upload.part("sessionType")->body,
                 QByteArray(purpose == RecordingPurpose::Onboarding ? "onboarding" : "default"));
        QCOMPARE(bool(upload.part("sourceParams")), bool(sourceParams));
        if (converted) {
            const platform::AudioFileInfo info = platform::readAudioFileInfo(upload.savedPath);
            QCOMPARE(info.channels, 1);
            QCOMPARE(info.sampleRate, 44100);
            QVERIFY2(std::abs(info.durationSeconds - 6.0) < 0.1, qPrintable(QString::number(info.durationSeconds)));
            const double rate = double(QFileInfo(upload.savedPath).size()) * 8 / info.durationSeconds;
            QVERIFY2(rate < 70000, qPrintable(QString::number(rate)));
        } else {
            QCOMPARE(readAll(upload.savedPath), original);
        }
        QVERIFY(!QFile::exists(path));
        QCOMPARE(f->storedQueueText(), QStringLiteral("[]"));
        QCOMPARE(QDir(f->recordings).entryList(QDir::Files | QDir::Hidden), QStringList());

        QTRY_COMPARE(f->eventNames(), (QStringList{"Recording Upload Started", "Recording Sent"}));
        const nlohmann::json sent = f->lastEvent(QStringLiteral("Recording Sent"));
        QCOMPARE(text(sent["recording_size_bytes"]), QString::number(original.size())); // before compression
        QCOMPARE(text(sent["recording_length_sec"]), QStringLiteral("6"));
        QCOMPARE(text(sent["recording_title"]), QFileInfo(path).fileName());
        QCOMPARE(text(sent["media_format"]), QStringLiteral("m4a"));
        QCOMPARE(text(sent["is_retry"]), QStringLiteral("false"));
        QVERIFY(f->reports().isEmpty());
    }

    void aFailedUploadKeepsItsRecordingAndRetriesAfter300Seconds_data()
    {
        QTest::addColumn<devserver::CannedResponse>("outage");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused with 500") << devserver::CannedResponse::failure(500) << "status 500";
        QTest::newRow("connection dropped") << devserver::CannedResponse::droppedConnection() << "badConnection";
    }

    void aFailedUploadKeepsItsRecordingAndRetriesAfter300Seconds()
    {
        QFETCH(devserver::CannedResponse, outage);
        QFETCH(QString, reason);
        auto &manager = f->start();
        manager.scheduleReuploadTimer(AudioReuploadMode::Background); // launch
        f->backend.server.setResponse(kUploadPath, outage);
        const QString path = f->makeRecording(3.0);
        manager.enqueue(f->finished(path, 3));
        QVERIFY(f->waitIdle());
        QTRY_COMPARE(f->eventNames(), (QStringList{"Recording Upload Started", "Recording Upload Failed"}));
        const nlohmann::json failed = f->lastEvent(QStringLiteral("Recording Upload Failed"));
        QVERIFY2(text(failed["reason"]).contains(reason), qPrintable(text(failed["reason"])));
        QCOMPARE(text(failed["is_retry"]), QStringLiteral("false"));
        QVERIFY(QFile::exists(path));
        QCOMPARE(f->storedItems().size(), std::size_t(1));
        QTRY_COMPARE(f->reportsContaining(reason), 1);

        // The failure moved the next pass to 300 s from now: not one a second.
        for (int second = 0; second < 299; second += 60) {
            f->clock.advance(std::min(60, 299 - second) * 1s);
            QVERIFY(f->waitIdle());
        }
        QCOMPARE(f->eventCount(QStringLiteral("Recording Upload Started")), 1);
        f->clock.advance(1s);
        QVERIFY(f->waitIdle());
        QTRY_COMPARE(f->eventCount(QStringLiteral("Recording Upload Failed")), 2);
        QCOMPARE(text(f->lastEvent(QStringLiteral("Recording Upload Failed"))["is_retry"]), QStringLiteral("true"));

        // The backend is back: the next pass sends it, once.
        f->backend.server.clearResponse(kUploadPath);
        f->clock.advance(300s);
        QVERIFY(f->waitIdle());
        QTRY_COMPARE(f->eventCount(QStringLiteral("Recording Sent")), 1);
        QCOMPARE(f->eventCount(QStringLiteral("Recording Upload Started")), 3);
        QCOMPARE(f->backend.server.uploads().size(), 1);
        QVERIFY(!QFile::exists(path));
        QVERIFY(f->storedItems().empty());
        // After a success the next pass is 1 s away; with nothing queued it sends nothing.
        f->clock.advance(1s);
        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), 1);
    }

    void anAnswerThatDoesNotReadCountsAsSent()
    {
        auto &manager = f->start();
        f->backend.server.setResponse(kUploadPath, devserver::CannedResponse{200, "application/json", "{}"});
        const QString path = f->makeRecording(3.0);
        manager.enqueue(f->finished(path, 3));
        QVERIFY(f->waitIdle());
        QTRY_COMPARE(f->eventNames(), (QStringList{"Recording Upload Started", "Recording Sent"}));
        QVERIFY(!QFile::exists(path));
        QVERIFY(f->storedItems().empty());
        QTRY_COMPARE(f->reportsContaining(QStringLiteral("its answer does not read")), 1);
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QCOMPARE(f->uploadRequests().size(), 1);
    }

    void aSentRecordingThatCannotBeDeletedIsNeverSentAgain()
    {
        auto &manager = f->start();
        const QString path = f->makeRecording(3.0);
        const QString away = path + QStringLiteral(".away");
        // Once the backend has the file, something holds its name: a folder with content cannot be unlinked.
        QObject::connect(&f->backend.server, &devserver::DevServer::requestReceived, &f->backend.server,
                         [&](const devserver::ReceivedRequest &request) {
                             if (request.path == kUploadPath && QFile::rename(path, away)) {
                                 QDir().mkpath(path);
                                 QFile(path + QStringLiteral("/busy")).open(QIODevice::WriteOnly);
                             }
                         });
        manager.enqueue(f->finished(path, 3));
        QVERIFY(f->waitIdle());
        QTRY_COMPARE(f->eventNames(), (QStringList{"Recording Upload Started", "Recording Sent"}));
        QCOMPARE(f->storedItems().size(), std::size_t(1));
        QCOMPARE(f->storedItems().front().isSent, std::optional(true));
        QTRY_COMPARE(f->reportsContaining(QStringLiteral("cannot be deleted")), 1);

        f->clock.advance(1s);
        QVERIFY(f->waitIdle());
        // The file is back where it was: the next pass deletes it, and sends nothing.
        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(QFile::rename(away, path));
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QVERIFY(!QFile::exists(path));
        QVERIFY(f->storedItems().empty());
        QCOMPARE(f->uploadRequests().size(), 1);
        QCOMPARE(f->eventCount(QStringLiteral("Recording Sent")), 1);
    }

    void aCorruptItemKeepsTheRestAndItsJson()
    {
        const QString first = f->makeRecording(2.5);
        const QString second = f->makeRecording(2.5);
        const std::string corrupt = "{\"fileUrl\":5,\"recordingStartDate\":\"2024-03-05T15:00:00+0100\"}";
        const QString stored =
            QStringLiteral("[%1,%2,%3]")
                .arg(QString::fromUtf8(platform::toJsonText(storedItem(first, f->signedInUser()).toJson())),
                     QString::fromStdString(corrupt),
                     QString::fromUtf8(platform::toJsonText(storedItem(second, std::nullopt).toJson())));
        f->backend.settings.setText(platform::settings::kAudioUploadItems.storedName(), stored);

        auto &manager = f->start();
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), 2);
        QVERIFY(!QFile::exists(first));
        QVERIFY(!QFile::exists(second));
        QCOMPARE(f->storedQueueText().toStdString(), "[" + corrupt + "]");
        QTRY_COMPARE(f->reportsContaining(QStringLiteral("cannot be read and is kept")), 1);
    }

    void aRecordingGoesOnlyUnderItsOwner_data()
    {
        QTest::addColumn<QString>("owner");         // empty: an item that names none
        QTest::addColumn<QString>("signedInFirst"); // empty: nobody
        QTest::addColumn<bool>("sentFirst");
        QTest::addColumn<QString>("sentAs");

        const QString owner = QStringLiteral("dev@brelta.test");
        QTest::newRow("waits while another user is signed in, goes once its owner is")
            << owner << kOtherUser << false << owner;
        QTest::newRow("waits while nobody is signed in") << owner << QString() << false << owner;
        QTest::newRow("naming no owner, it goes as the signed-in user")
            << QString() << kOtherUser << true << kOtherUser;
    }

    void aRecordingGoesOnlyUnderItsOwner()
    {
        QFETCH(QString, owner);
        QFETCH(QString, signedInFirst);
        QFETCH(bool, sentFirst);
        QFETCH(QString, sentAs);
        const QString path = f->makeRecording(2.5);
        f->backend.settings.writeArray(
            platform::settings::kAudioUploadItems,
            std::vector{storedItem(path, owner.isEmpty() ? std::nullopt : std::optional(owner))});
        f->signInAs(signedInFirst);
        auto &manager = f->start();
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), sentFirst ? 1 : 0);
        if (!sentFirst) {
            QVERIFY(QFile::exists(path));
            QCOMPARE(f->storedItems().size(), std::size_t(1));
            f->signInAs(owner); // a sign-in starts a pass
            QVERIFY(f->waitIdle());
            QCOMPARE(f->backend.server.uploads().size(), 1);
        }
        QCOMPARE(f->backend.server.uploads().first().part("username")->body, sentAs.toUtf8());
        QVERIFY(!QFile::exists(path));
    }

    void itemsNamingOtherFilesAreNeitherReadNorDeleted_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("outside the recordings folder") << "outside";
        QTest::newRow("a link in the folder to a file outside") << "link";
        QTest::newRow("in a folder below the recordings folder") << "below";
        QTest::newRow("not a file URL") << "web";
    }

    void itemsNamingOtherFilesAreNeitherReadNorDeleted()
    {
        QFETCH(QString, where);
        QTemporaryDir elsewhere;
        const QString outside = elsewhere.filePath(QStringLiteral("secret.m4a"));
        QVERIFY(makeToneFile(outside, 2.5, 44100, 1, {"-c:a", "aac", "-b:a", "32k"}).isEmpty());
        const QByteArray bytes = readAll(outside);
        QString named = outside;
        if (where == QLatin1String("link")) {
            named = QDir(f->recordings).filePath(QStringLiteral("practice_00000000000000000000000000000001.m4a"));
            QVERIFY(QFile::link(outside, named));
        } else if (where == QLatin1String("below")) {
            QVERIFY(QDir(f->recordings).mkpath(QStringLiteral("below")));
            named = QDir(f->recordings).filePath(QStringLiteral("below/practice_00000000000000000000000000000002.m4a"));
            QVERIFY(QFile::copy(outside, named));
        }
        AudioUploadWorkItem item = storedItem(named, f->signedInUser());
        if (where == QLatin1String("web"))
            item.fileUrl = QStringLiteral("https://example.com/secret.m4a");
        f->backend.settings.writeArray(platform::settings::kAudioUploadItems, std::vector{item});

        auto &manager = f->start();
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QVERIFY(f->uploadRequests().isEmpty());
        QCOMPARE(readAll(outside), bytes);
        QVERIFY(QFileInfo(named).exists() || where == QLatin1String("web"));
        QCOMPARE(f->storedItems().size(), std::size_t(1));
        QTRY_COMPARE(f->reportsContaining(QStringLiteral("names a file the queue does not touch")), 1);
        QVERIFY(f->eventNames().isEmpty());
    }

    void signingOutSetsRecordingsAsideForTheirOwner()
    {
        auto &manager = f->start();
        manager.scheduleReuploadTimer(AudioReuploadMode::Background);
        f->backend.server.setFailure(kUploadPath, 500);
        const QString first = f->makeRecording(2.5);
        const QString second = f->makeRecording(2.5);
        const QMap<QString, QString> params{{"meetingId", "7"}};
        manager.enqueue(f->finished(first, 2, RecordingPurpose::Practice, params));
        manager.enqueue(f->finished(second, 2));
        QVERIFY(f->waitIdle());
        QCOMPARE(f->storedItems().size(), std::size_t(2));
        const int attempts = f->uploadRequests().size();

        manager.signOut();
        f->signInAs(QString());
        QCOMPARE(f->storedQueueText(), QStringLiteral("[]"));
        QVERIFY(!QFile::exists(first));
        QVERIFY(!QFile::exists(second));
        f->clock.advance(1h); // no timer runs after a sign-out
        QVERIFY(f->waitIdle());
        QCOMPARE(f->uploadRequests().size(), attempts);

        // Someone else signs in, and the program starts again: nothing of the first user's is theirs.
        f->backend.server.clearFailure(kUploadPath);
        f->signInAs(kOtherUser);
        QVERIFY(f->waitIdle());
        f->start().scheduleReuploadTimer(AudioReuploadMode::Background);
        f->clock.advance(1s);
        QVERIFY(f->waitIdle());
        QVERIFY(f->backend.server.uploads().isEmpty());
        QVERIFY(f->storedItems().empty());

        // The owner signs in again: both go, under the owner, as they were handed over.
        f->signInAs(f->signedInUser());
        QVERIFY(f->waitIdle());
        QCOMPARE(f->backend.server.uploads().size(), 2);
        for (const devserver::ReceivedUpload &upload : f->backend.server.uploads()) {
            QCOMPARE(upload.part("username")->body, f->signedInUser().toUtf8());
            QCOMPARE(upload.part("endTime")->body,
                     platform::wiretime::formatWithOffset(f->finished(first, 2).endTime).toUtf8());
        }
        QCOMPARE(f->backend.server.uploads().size(), 2);
        const auto withParams = std::count_if(
            f->backend.server.uploads().cbegin(), f->backend.server.uploads().cend(),
            [](const devserver::ReceivedUpload &upload) {
                return upload.part("sourceParams") && upload.part("sourceParams")->body == "{\"meetingId\":\"7\"}";
            });
        QCOMPARE(withParams, 1);
        QVERIFY(f->storedItems().empty());
        QCOMPARE(QDir(f->recordings).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void anItemWhoseDatesDoNotReadStaysAndIsReportedOncePerLaunch()
    {
        const QString path = f->makeRecording(2.5);
        AudioUploadWorkItem item = storedItem(path, f->signedInUser());
        item.recordingStartDate = QStringLiteral("5 mars 2024 à 15:00");
        f->backend.settings.writeArray(platform::settings::kAudioUploadItems, std::vector{item});
        for (int launch = 1; launch <= 2; ++launch) {
            auto &manager = f->start();
            manager.reuploadAll();
            QVERIFY(f->waitIdle());
            manager.reuploadAll();
            QVERIFY(f->waitIdle());
            QTRY_COMPARE(f->reportsContaining(QStringLiteral("Failed to process AudioUploadWorkItem")), launch);
        }
        QVERIFY(f->uploadRequests().isEmpty());
        QCOMPARE(f->storedItems().size(), std::size_t(1));
        QVERIFY(QFile::exists(path));
    }

    void anEmptyOrMissingRecordingLeavesTheQueueQuietly_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("empty file: deleted with its item") << true;
        QTest::newRow("missing file: its item goes") << false;
    }

    void anEmptyOrMissingRecordingLeavesTheQueueQuietly()
    {
        QFETCH(bool, exists);
        const QString path =
            QDir(f->recordings).filePath(QStringLiteral("practice_0123456789abcdef0123456789abcdef.m4a"));
        if (exists)
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        f->backend.settings.writeArray(platform::settings::kAudioUploadItems,
                                       std::vector{storedItem(path, f->signedInUser())});
        auto &manager = f->start();
        manager.reuploadAll();
        QVERIFY(f->waitIdle());
        QVERIFY(!QFile::exists(path));
        QVERIFY(f->storedItems().empty());
        QVERIFY(f->uploadRequests().isEmpty());
        QTest::qWait(200);
        QVERIFY(f->eventNames().isEmpty());
    }
};

QTEST_GUILESS_MAIN(AudioUploadManagerTest)
#include "tst_audiouploadmanager.moc"
