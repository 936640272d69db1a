#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using brelta::platform::JsonObjectWriter;
using brelta::platform::JsonReader;
using brelta::platform::SettingsStore;

namespace {

struct Upload
{
    QString path;
    qint64 size = 0;

    static Upload fromJson(const JsonReader &reader)
    {
        return {reader.required<QString>("path"), reader.required<qint64>("size")};
    }

    nlohmann::ordered_json toJson() const { return JsonObjectWriter().add("path", path).add("size", size).take(); }
};

// Carries raw bytes so a test can hand the encoder text that is not UTF-8.
struct RawBytes
{
    std::string bytes;

    static RawBytes fromJson(const JsonReader &reader) { return {reader.required<std::string>("bytes")}; }
    nlohmann::ordered_json toJson() const { return JsonObjectWriter().add("bytes", bytes).take(); }
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNumber = 0;

    // A fresh file for every test function and row, so no value leaks from one case into the next.
    QString freshPath() { return m_dir.filePath(QStringLiteral("settings-%1.ini").arg(++m_fileNumber)); }

    // QSettings caches a file's values, typed, inside the process; a copy under a new name is read from
    // disk, as the next launch would read it.
    QString copyOnDisk(const QString &path)
    {
        const QString copy = freshPath();
        if (!QFile::copy(path, copy))
            qFatal("could not copy %s", qPrintable(path));
        return copy;
    }

private slots:
    void absentIsToldApartFromFalseAndEmpty()
    {
        const QString path = freshPath();
        {
            SettingsStore store(path);
            QVERIFY(!store.boolValue(QStringLiteral("isOnboardingCompleted")).has_value());
            QVERIFY(!store.text(QStringLiteral("username")).has_value());
            store.setBool(QStringLiteral("isOnboardingCompleted"), false);
            store.setText(QStringLiteral("username"), QString());
        }
        SettingsStore reopened(copyOnDisk(path));
        QCOMPARE(reopened.boolValue(QStringLiteral("isOnboardingCompleted")), std::optional<bool>(false));
        const std::optional<QString> username = reopened.text(QStringLiteral("username"));
        QVERIFY(username.has_value());
        QVERIFY(username->isEmpty());

        reopened.remove(QStringLiteral("username"));
        QVERIFY(!reopened.text(QStringLiteral("username")).has_value());
        QVERIFY(!reopened.contains(QStringLiteral("username")));
    }

    void textKeysReadAsEmptyWhenAbsent()
    {
        SettingsStore store(freshPath());
        QCOMPARE(store.value(brelta::platform::settings::kUserId), QString());
        QVERIFY(store.setText(brelta::platform::settings::kUserId, QStringLiteral("u-42")));
        QCOMPARE(store.value(brelta::platform::settings::kUserId), QStringLiteral("u-42"));
    }

    void textsSurviveTheIniFile_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain e-mail") << QStringLiteral("ann@example.com");
        QTest::newRow("commas and quotes") << QStringLiteral("[{\"a\":\"x, y\"},{\"b\":\"\\\"q\\\"\"}]");
        QTest::newRow("semicolon and equals") << QStringLiteral("a=b; c");
        QTest::newRow("leading at sign") << QStringLiteral("@Variant(x)");
        QTest::newRow("line breaks and backslash") << QStringLiteral("one\ntwo\\three");
        QTest::newRow("non-latin") << QStringLiteral("\u00e9t\u00e9 \u65e5\u672c \U0001F600");
        QTest::newRow("looks like a boolean") << QStringLiteral("true");
        QTest::newRow("surrounding spaces") << QStringLiteral("  padded  ");
    }

    void textsSurviveTheIniFile()
    {
        QFETCH(QString, value);
        const QString path = freshPath();
        SettingsStore(path).setText(QStringLiteral("value"), value);
        QCOMPARE(SettingsStore(path).text(QStringLiteral("value")), std::optional<QString>(value));
        QCOMPARE(SettingsStore(copyOnDisk(path)).text(QStringLiteral("value")), std::optional<QString>(value));
    }

    void numbersRoundTrip()
    {
        const QString path = freshPath();
        {
            SettingsStore store(path);
            store.setInteger(QStringLiteral("big"), Q_INT64_C(-9007199254740993));
            store.setNumber(QStringLiteral("ratio"), 0.1);
        }
        SettingsStore reopened(copyOnDisk(path));
        QCOMPARE(reopened.integer(QStringLiteral("big")), std::optional<qint64>(Q_INT64_C(-9007199254740993)));
        QCOMPARE(reopened.number(QStringLiteral("ratio")), std::optional<double>(0.1));
    }

    void valuesOfAnotherKindReadAsAbsent_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<std::optional<bool>>("flag");
        QTest::addColumn<std::optional<qint64>>("count");

        QTest::newRow("well formed") << QByteArray("[General]\nflag=true\ncount=12\n") << std::optional<bool>(true)
                                     << std::optional<qint64>(12);
        QTest::newRow("wrong kinds") << QByteArray("[General]\nflag=maybe\ncount=twelve\n") << std::optional<bool>()
                                     << std::optional<qint64>();
        QTest::newRow("absent") << QByteArray("[General]\nother=1\n") << std::optional<bool>()
                                << std::optional<qint64>();
    }

    void valuesOfAnotherKindReadAsAbsent()
    {
        QFETCH(QByteArray, ini);
        QFETCH(std::optional<bool>, flag);
        QFETCH(std::optional<qint64>, count);
        const QString path = freshPath();
        writeFile(path, ini);
        SettingsStore store(path);
        QCOMPARE(store.boolValue(QStringLiteral("flag")), flag);
        QCOMPARE(store.integer(QStringLiteral("count")), count);
    }

    void writesAnnounceTheirKey()
    {
        SettingsStore store(freshPath());
        QSignalSpy spy(&store, &SettingsStore::changed);
        store.setText(QStringLiteral("userId"), QStringLiteral("u-1"));
        store.setBool(QStringLiteral("isUseExperimentAudioRecorder"), true);
        store.remove(QStringLiteral("userId"));
        QVERIFY(store.writeArray(QStringLiteral("audioUploadItems"), std::vector<Upload>{}));
        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("userId"));
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("isUseExperimentAudioRecorder"));
        QCOMPARE(spy.at(2).at(0).toString(), QStringLiteral("userId"));
        QCOMPARE(spy.at(3).at(0).toString(), QStringLiteral("audioUploadItems"));
    }

    void arrayRoundTripsAsOneJsonText()
    {
        const QString path = freshPath();
        const std::vector<Upload> uploads{{QStringLiteral("/tmp/a, b.m4a"), 10}, {QStringLiteral("/tmp/'c'.m4a"), 20}};
        QVERIFY(SettingsStore(path).writeArray(QStringLiteral("audioUploadItems"), uploads));

        SettingsStore reopened(copyOnDisk(path));
        QCOMPARE(reopened.text(QStringLiteral("audioUploadItems")),
                 std::optional<QString>(
                     QStringLiteral(R"([{"path":"/tmp/a, b.m4a","size":10},{"path":"/tmp/'c'.m4a","size":20}])")));
        const auto read = reopened.readArray<Upload>(QStringLiteral("audioUploadItems"));
        QVERIFY(read.isComplete());
        QCOMPARE(read.items.size(), std::size_t(2));
        QCOMPARE(read.items[0].path, uploads[0].path);
        QCOMPARE(read.items[1].size, qint64(20));
    }

    void storedArrayReadings_data()
    {
        QTest::addColumn<QString>("stored"); // empty = nothing stored
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QList<int>>("failedIndexes");
        QTest::addColumn<bool>("unreadable");

        QTest::newRow("nothing stored") << QString() << QStringList() << QList<int>() << false;
        QTest::newRow("empty array") << QStringLiteral("[]") << QStringList() << QList<int>() << false;
        QTest::newRow("one bad element among good ones")
            << QStringLiteral(R"([{"path":"a","size":1},{"path":"b"},{"path":"c","size":3},7])")
            << QStringList{QStringLiteral("a"), QStringLiteral("c")} << QList<int>{1, 3} << false;
        QTest::newRow("not JSON") << QStringLiteral("[{\"path\":") << QStringList() << QList<int>() << true;
        QTest::newRow("JSON but not an array")
            << QStringLiteral(R"({"path":"a","size":1})") << QStringList() << QList<int>() << true;
        QTest::newRow("empty text") << QStringLiteral("") << QStringList() << QList<int>() << true;
        QTest::newRow("nested 100,000 deep") << QString(100000, QLatin1Char('[')) + QString(100000, QLatin1Char(']'))
                                             << QStringList() << QList<int>() << true;
        QTest::newRow("a number beyond double range")
            << QStringLiteral(R"([{"path":"a","size":1e400}])") << QStringList() << QList<int>() << true;
    }

    void storedArrayReadings()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, paths);
        QFETCH(QList<int>, failedIndexes);
        QFETCH(bool, unreadable);

        const QString path = freshPath();
        SettingsStore store(path);
        if (!stored.isNull())
            store.setText(QStringLiteral("audioUploadItems"), stored);
        const QByteArray fileBefore = readFile(path);
        if (unreadable)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("audioUploadItems.*not a JSON array.*kept")));

        const auto read = store.readArray<Upload>(QStringLiteral("audioUploadItems"));
        QStringList readPaths;
        for (const Upload &upload : read.items)
            readPaths << upload.path;
        QCOMPARE(readPaths, paths);
        QList<int> readFailures;
        for (const auto &failure : read.failures)
            readFailures << failure.index;
        QCOMPARE(readFailures, failedIndexes);
        QCOMPARE(read.unreadableText.has_value(), unreadable);
        if (unreadable)
            QCOMPARE(*read.unreadableText, stored);
        QCOMPARE(store.array<Upload>(QStringLiteral("audioUploadItems")).size(), std::size_t(paths.size()));

        // Reading never rewrites what is stored, however bad it is.
        QCOMPARE(readFile(path), fileBefore);
        QCOMPARE(store.text(QStringLiteral("audioUploadItems")),
                 stored.isNull() ? std::optional<QString>() : std::optional<QString>(stored));
    }

    void failedElementsNameTheirIndexAndCanBeKept()
    {
        SettingsStore store(freshPath());
        store.setText(QStringLiteral("audioUploadItems"),
                      QStringLiteral(R"([{"path":"a","size":1},{"path":"b","size":"big"}])"));
        const auto read = store.readArray<Upload>(QStringLiteral("audioUploadItems"));
        QCOMPARE(read.failures.size(), std::size_t(1));
        QCOMPARE(read.failures[0].error, QStringLiteral("[1].size: expected integer, got string"));

        // A caller that drops the good element rewrites the list and still keeps the one it cannot read.
        QVERIFY(store.writeArray(QStringLiteral("audioUploadItems"), std::vector<Upload>{}, read.failedRawItems()));
        QCOMPARE(store.text(QStringLiteral("audioUploadItems")),
                 std::optional<QString>(QStringLiteral(R"([{"path":"b","size":"big"}])")));
    }

    void encodingFailureKeepsTheStoredList()
    {
        const QString path = freshPath();
        SettingsStore store(path);
        QVERIFY(store.writeArray(QStringLiteral("items"), std::vector<RawBytes>{{"kept"}}));
        QSignalSpy spy(&store, &SettingsStore::changed);

        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression(QStringLiteral("could not encode.*items.*left unchanged")));
        QVERIFY(!store.writeArray(QStringLiteral("items"), std::vector<RawBytes>{{"fine"}, {"\xff\xfe"}}));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(SettingsStore(path).text(QStringLiteral("items")),
                 std::optional<QString>(QStringLiteral(R"([{"bytes":"kept"}])")));
    }

    void aDamagedFileDoesNotFailLaterWrites()
    {
        const QString path = freshPath();
        writeFile(path, QByteArray("[General]\nusername=ann\n\xff\nuserId=u-1\n"));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("damaged lines")));
        SettingsStore store(path);
        QCOMPARE(store.text(QStringLiteral("username")), std::optional<QString>(QStringLiteral("ann")));
        QVERIFY(store.setBool(QStringLiteral("isOnboardingCompleted"), true));
        QVERIFY(store.setText(QStringLiteral("username"), QStringLiteral("bob")));
        QVERIFY(store.writeArray(QStringLiteral("audioUploadItems"), std::vector<Upload>{{QStringLiteral("a"), 1}}));
        QVERIFY(store.remove(QStringLiteral("isOnboardingCompleted")));

        SettingsStore reopened(copyOnDisk(path));
        QCOMPARE(reopened.text(QStringLiteral("username")), std::optional<QString>(QStringLiteral("bob")));
        QCOMPARE(reopened.text(QStringLiteral("userId")), std::optional<QString>(QStringLiteral("u-1")));
        QCOMPARE(reopened.array<Upload>(QStringLiteral("audioUploadItems")).size(), std::size_t(1));
        QVERIFY(!reopened.contains(QStringLiteral("isOnboardingCompleted")));
    }

    void aWriteThatMissesTheDiskIsReportedAndTheNextOneJudgedByItself()
    {
        const QString path = freshPath();
        SettingsStore store(path);
        QVERIFY(store.setText(QStringLiteral("username"), QStringLiteral("ann")));

        // A folder where the file should be: nothing can be saved, whoever runs the test.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        const QRegularExpression notSaved(QStringLiteral("could not save"));
        QTest::ignoreMessage(QtWarningMsg, notSaved);
        QVERIFY(!store.setText(QStringLiteral("userId"), QStringLiteral("u-1")));
        QTest::ignoreMessage(QtWarningMsg, notSaved);
        QVERIFY(!store.remove(QStringLiteral("username")));
        QTest::ignoreMessage(QtWarningMsg, notSaved);
        QVERIFY(!store.writeArray(QStringLiteral("audioUploadItems"), std::vector<Upload>{}));

        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(store.setInteger(QStringLiteral("count"), 3));
        SettingsStore reopened(copyOnDisk(path));
        QCOMPARE(reopened.integer(QStringLiteral("count")), std::optional<qint64>(3));
        // What waited in memory went out with the write that succeeded.
        QCOMPARE(reopened.text(QStringLiteral("userId")), std::optional<QString>(QStringLiteral("u-1")));
    }

    void defaultFileLivesInTheXdgConfigFolder()
    {
        QVERIFY(SettingsStore::defaultFilePath().endsWith(QStringLiteral("/brelta/brelta.ini")));
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (!configHome.isEmpty())
            QVERIFY(SettingsStore::defaultFilePath().startsWith(configHome));
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
