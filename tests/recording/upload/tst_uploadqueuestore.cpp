#include "recording/upload/UploadQueueStore.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "recording/upload/UploadReports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta;
using recording::AudioUploadWorkItem;
using recording::UploadQueueStore;

namespace {

const QString kKey = platform::settings::kAudioUploadItems.storedName();

AudioUploadWorkItem item(const QString &name)
{
    AudioUploadWorkItem made;
    made.fileUrl = QStringLiteral("file:///recordings/") + name;
    made.recordingStartDate = QStringLiteral("2024-03-05T15:00:00+0100");
    made.recordingEndDate = QStringLiteral("2024-03-05T15:10:00+0100");
    made.recordingDurationSeconds = 600;
    made.username = QStringLiteral("dev@brelta.test");
    return made;
}

QStringList fileUrls(const std::vector<AudioUploadWorkItem> &items)
{
    QStringList urls;
    for (const AudioUploadWorkItem &queued : items)
        urls << queued.fileUrl;
    return urls;
}

} // namespace

class UploadQueueStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<platform::SettingsStore> settings;
    recording::UploadReports reports{nullptr};

private slots:
    void init()
    {
        QFile::remove(dir.filePath(QStringLiteral("brelta.ini")));
        settings = std::make_unique<platform::SettingsStore>(dir.filePath(QStringLiteral("brelta.ini")));
    }

    void elementsThatDoNotReadAreWrittenBackAsTheyWere_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::newRow("a required key missing") << "{\"fileUrl\":\"file:///recordings/b.m4a\"}";
        QTest::newRow("a number where a text belongs")
            << "{\"fileUrl\":5,\"recordingStartDate\":\"x\",\"recordingEndDate\":\"y\",\"recordingDurationSeconds\":1,"
               "\"recordingPurpose\":\"practice\"}";
        QTest::newRow("an unknown purpose")
            << "{\"fileUrl\":\"file:///r/b.m4a\",\"recordingStartDate\":\"x\",\"recordingEndDate\":\"y\","
               "\"recordingDurationSeconds\":1,\"recordingPurpose\":\"meeting\"}";
        QTest::newRow("a source parameter that is no text")
            << "{\"fileUrl\":\"file:///r/b.m4a\",\"recordingStartDate\":\"x\",\"recordingEndDate\":\"y\","
               "\"recordingDurationSeconds\":1,\"recordingPurpose\":\"practice\",\"sourceParams\":{\"n\":1}}";
        QTest::newRow("not an object") << "\"practice_1.m4a\"";
    }

    void elementsThatDoNotReadAreWrittenBackAsTheyWere()
    {
        QFETCH(QString, bad);
        const QString good = QString::fromUtf8(platform::toJsonText(item(QStringLiteral("a.m4a")).toJson()));
        settings->setText(kKey, QStringLiteral("[%1,%2]").arg(bad, good));
        UploadQueueStore store(settings.get(), &reports);
        QCOMPARE(fileUrls(store.items()), QStringList{QStringLiteral("file:///recordings/a.m4a")});

        QVERIFY(store.add(item(QStringLiteral("c.m4a"))));
        QVERIFY(store.remove(QStringLiteral("file:///recordings/a.m4a")));
        const QString expected = QStringLiteral("[%1,%2]").arg(
            QString::fromUtf8(platform::toJsonText(item(QStringLiteral("c.m4a")).toJson())),
            QString::fromUtf8(platform::toJsonText(nlohmann::ordered_json(nlohmann::json::parse(bad.toStdString())))));
        QCOMPARE(settings->text(kKey), std::optional(expected));
    }

    void aTextThatIsNoArrayIsSavedAsideBeforeItIsReplaced()
    {
        const QString unreadable = QStringLiteral("{\"queue\": [\"this was never an array\"");
        settings->setText(kKey, unreadable);
        UploadQueueStore store(settings.get(), &reports);
        QVERIFY(store.items().empty());
        QCOMPARE(settings->text(kKey), std::optional(unreadable)); // reading changes nothing

        QVERIFY(store.add(item(QStringLiteral("a.m4a"))));
        QCOMPARE(fileUrls(store.items()), QStringList{QStringLiteral("file:///recordings/a.m4a")});
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("audioUploadItems.unreadable-*.txt")});
        QCOMPARE(aside.size(), 1);
        QFile saved(dir.filePath(aside.first()));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()), unreadable);
    }

    void aQueueThatCannotBeStoredIsKeptForTheRun()
    {
        // A settings file whose folder is a file: nothing can be written there.
        QFile blocker(dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        platform::SettingsStore unwritable(dir.filePath(QStringLiteral("blocker/brelta.ini")));
        UploadQueueStore store(&unwritable, &reports);

        QVERIFY(!store.add(item(QStringLiteral("a.m4a"))));
        QVERIFY(!store.add(item(QStringLiteral("b.m4a"))));
        QCOMPARE(fileUrls(store.items()),
                 (QStringList{QStringLiteral("file:///recordings/a.m4a"), QStringLiteral("file:///recordings/b.m4a")}));
        QVERIFY(store.find(QStringLiteral("file:///recordings/b.m4a")));
    }
};

QTEST_GUILESS_MAIN(UploadQueueStoreTest)
#include "tst_uploadqueuestore.moc"
