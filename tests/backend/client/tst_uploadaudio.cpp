#include "testsupport/backend/ClientFixture.h"

#include "platform/WireTime.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace brelta;
using namespace brelta::testsupport;
using namespace brelta::testsupport::client;
using backend::ApiDto::SessionType;
using backend::ApiDto::UploadAudioParams;
using SourceParams = std::optional<QMap<QString, QString>>;

Q_DECLARE_METATYPE(SourceParams)
Q_DECLARE_METATYPE(brelta::backend::ApiDto::SessionType)
Q_DECLARE_METATYPE(brelta::devserver::CannedResponse)

namespace {

const QString kUploadPath = QStringLiteral("/upload");

// `size` bytes of noise in a new file; the bytes, for comparing with what the backend saved.
QByteArray writeRecording(const QString &path, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
        qFatal("cannot write the recording fixture %s", qPrintable(path));
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

UploadAudioParams params(SessionType type = SessionType::Default, SourceParams sourceParams = std::nullopt)
{
    const QDateTime start(QDate(2024, 3, 5), QTime(14, 7, 9, 870), Qt::UTC);
    return {QStringLiteral("dev@brelta.test"), start, start.addSecs(754), type, std::move(sourceParams)};
}

} // namespace

class UploadAudioTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ClientFixture> f;
    QTemporaryDir dir;

private slots:
    void init()
    {
        f = std::make_unique<ClientFixture>();
        f->signIn();
    }
    void cleanup() { f.reset(); }

    void formParts_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<SessionType>("sessionType");
        QTest::addColumn<SourceParams>("sourceParams");
        QTest::addColumn<QByteArrayList>("partNames");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("sourceParamsText"); // null: no such part

        const QByteArrayList five{"files", "username", "startTime", "endTime", "sessionType"};
        const QByteArrayList six = five + QByteArrayList{"sourceParams"};
        QTest::newRow("no source parameters: five parts") << "practice_1.m4a" << SessionType::Default << SourceParams()
                                                          << five << QByteArray("audio/m4a") << QByteArray();
        QTest::newRow("empty source parameters: {}")
            << "practice_2.m4a" << SessionType::Default << SourceParams(QMap<QString, QString>()) << six
            << QByteArray("audio/m4a") << QByteArray("{}");
        QTest::newRow("source parameters as one compact object")
            << "onboarding_3.m4a" << SessionType::Onboarding
            << SourceParams(QMap<QString, QString>{{"meeting", "Team \"sync\""}, {"from", "calendar"}}) << six
            << QByteArray("audio/m4a") << QByteArray("{\"from\":\"calendar\",\"meeting\":\"Team \\\"sync\\\"\"}");
        QTest::newRow("no extension: audio/")
            << "recording" << SessionType::Default << SourceParams() << five << QByteArray("audio/") << QByteArray();
        QTest::newRow("opus") << "practice_4.opus" << SessionType::Default << SourceParams() << five
                              << QByteArray("audio/opus") << QByteArray();
    }

    void formParts()
    {
        QFETCH(QString, fileName);
        QFETCH(SessionType, sessionType);
        QFETCH(SourceParams, sourceParams);
        QFETCH(QByteArrayList, partNames);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, sourceParamsText);
        const QString path = dir.filePath(fileName);
        const QByteArray bytes = writeRecording(path, 200 * 1024);
        const UploadAudioParams sent = params(sessionType, sourceParams);

        const auto done = awaitTask(f->client->uploadAudio(path, sent));
        QVERIFY2(done.succeeded(), qPrintable(done.errorText()));
        QCOMPARE(*done.value, QStringLiteral("Upload received"));

        QCOMPARE(f->server.uploads().size(), 1);
        const devserver::ReceivedUpload &upload = f->server.uploads().first();
        QByteArrayList names;
        for (const devserver::FormPart &part : upload.parts)
            names << part.name;
        QCOMPARE(names, partNames);
        const devserver::FormPart *file = upload.part("files");
        QCOMPARE(file->fileName, std::optional(fileName));
        QCOMPARE(file->contentType, contentType);
        QCOMPARE(readAll(upload.savedPath), bytes);
        for (const QByteArray &text : QByteArrayList{"username", "startTime", "endTime", "sessionType"}) {
            QVERIFY(!upload.part(text)->fileName);
            QVERIFY(upload.part(text)->contentType.isEmpty());
        }
        QCOMPARE(upload.part("username")->body, QByteArray("dev@brelta.test"));
        QCOMPARE(upload.part("sessionType")->body,
                 QByteArray(sessionType == SessionType::Onboarding ? "onboarding" : "default"));
        // Local time to the second and a numeric offset; the fraction of a second is dropped.
        static const QRegularExpression wireForm(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d{4}$"));
        for (const QByteArray &name : QByteArrayList{"startTime", "endTime"})
            QVERIFY2(wireForm.match(QString::fromLatin1(upload.part(name)->body)).hasMatch(), upload.part(name)->body);
        QCOMPARE(platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("startTime")->body)),
                 std::optional(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC)));
        QCOMPARE(platform::wiretime::parseWithOffset(QString::fromLatin1(upload.part("endTime")->body)),
                 std::optional(QDateTime(QDate(2024, 3, 5), QTime(14, 19, 43), Qt::UTC)));
        if (sourceParamsText.isNull())
            QVERIFY(!upload.part("sourceParams"));
        else
            QCOMPARE(upload.part("sourceParams")->body, sourceParamsText);

        const devserver::ReceivedRequest request = f->requestsTo(kUploadPath).first();
        QVERIFY(request.header("Authorization").startsWith("Bearer "));
        QVERIFY(request.header("Content-Type").startsWith("multipart/form-data; boundary="));
        QVERIFY(request.header("User-Agent") != f->client->userAgent().toUtf8());
        QVERIFY(f->reported.isEmpty());
    }

    void aFormOverTenMegabytesGoesWhole()
    {
        const QString path = dir.filePath(QStringLiteral("practice_large.m4a"));
        const QByteArray bytes = writeRecording(path, 12 * 1024 * 1024 + 3);
        const auto done = awaitTask(f->client->uploadAudio(path, params()), std::chrono::seconds(30));
        QVERIFY2(done.succeeded(), qPrintable(done.errorText()));
        QCOMPARE(readAll(f->server.uploads().first().savedPath), bytes);
    }

    void theRepeatAfterARefreshCarriesTheWholeFile()
    {
        // A token that has expired by the time the upload goes: refused, refreshed, repeated.
        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn();
        f->server.setAccessTokenLifetime(std::chrono::hours(1));
        const QString path = dir.filePath(QStringLiteral("practice_refresh.m4a"));
        const QByteArray bytes = writeRecording(path, 3 * 1024 * 1024);

        const auto done = awaitTask(f->client->uploadAudio(path, params()));
        QVERIFY2(done.succeeded(), qPrintable(done.errorText()));
        const QList<devserver::ReceivedRequest> attempts = f->requestsTo(kUploadPath);
        QCOMPARE(attempts.size(), 2);
        QCOMPARE(f->requestsTo(kTokenPath).size(), 1);
        QVERIFY(attempts[0].header("Authorization") != attempts[1].header("Authorization"));
        // Both attempts carried the whole file (the request log keeps only the start of a body, so the
        // sizes tell it), and the one the backend took saved it byte for byte.
        QVERIFY(attempts[0].bodySize > bytes.size());
        QCOMPARE(attempts[1].bodySize, attempts[0].bodySize);
        QCOMPARE(f->server.uploads().size(), 1);
        QCOMPARE(readAll(f->server.uploads().first().savedPath), bytes);
    }

    void failuresAreReportedWithSizeExtensionAndStatus_data()
    {
        QTest::addColumn<devserver::CannedResponse>("response");
        QTest::addColumn<QString>("thrown");
        QTest::addColumn<int>("responseCode");
        QTest::newRow("refused with 500") << devserver::CannedResponse::failure(500) << "status 500" << 500;
        QTest::newRow("refused with 413") << devserver::CannedResponse::failure(413) << "status 413" << 413;
        QTest::newRow("connection dropped") << devserver::CannedResponse::droppedConnection() << "badConnection" << 0;
        QTest::newRow("2xx that is not an upload answer")
            << devserver::CannedResponse{201, "application/json", "{\"received\": true}"} << "decoding" << 201;
    }

    void failuresAreReportedWithSizeExtensionAndStatus()
    {
        QFETCH(devserver::CannedResponse, response);
        QFETCH(QString, thrown);
        QFETCH(int, responseCode);
        const QString path = dir.filePath(QStringLiteral("practice_fails.m4a"));
        writeRecording(path, 1000);
        f->server.setResponse(kUploadPath, response);

        const auto done = awaitTask(f->client->uploadAudio(path, params()));
        QCOMPARE(failureOf(done), thrown);
        QCOMPARE(f->reported,
                 QStringList{QStringLiteral("Audio upload failed. fileSize: 1000 bytes, fileExtension: m4a, "
                                            "responseCode: %1")
                                 .arg(responseCode)});
        QVERIFY(QFile::exists(path));
    }

    void anUnreadableFileMakesNoRequest()
    {
        const QString path = dir.filePath(QStringLiteral("practice_gone.m4a"));
        const auto done = awaitTask(f->client->uploadAudio(path, params()));
        QVERIFY(done.threw());
        QVERIFY2(done.errorText().contains(QLatin1String("cannot read the recording ") + path),
                 qPrintable(done.errorText()));
        QVERIFY(f->requestsTo(kUploadPath).isEmpty());
        QVERIFY(f->reported.isEmpty());
    }
};

QTEST_GUILESS_MAIN(UploadAudioTest)
#include "tst_uploadaudio.moc"
