// A 30 MB recording (about two hours at 32 kbit/s) uploaded to brelta-devserver running in its own process:
// the peak growth of our process's resident memory and the wall time of ApiClient::uploadAudio, beside
// `curl -F` sending the same parts with the same token. Prints figures beside their reference; never fails
// on speed or size.
//
//   bench_upload [megabytes=30] [runs=3]
//   bench_upload --ours-only <port> <access token> <file>   one upload, for timing whole commands
#include "ChildRun.h"
#include "backend/client/ApiClient.h"
#include "platform/SettingsStore.h"
#include "platform/WireTime.h"
#include "platform/keyring/SecretStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

using namespace brelta;

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(9, 0), Qt::UTC);
const QDateTime kEnd = kStart.addSecs(7200);

// Resident memory of this process, in MiB: now (VmRSS) or its peak since the last reset (VmHWM).
double memoryMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5"); // resets VmHWM to the current resident size
}

struct Ours
{
    bool ok = false;
    QString error;
    double wallSeconds = 0;
    double peakGrowthMiB = 0;
};

QCoro::Task<> upload(backend::ApiClient *client, QString path, bool *done, QString *error)
{
    try {
        QCoro::Task<QString> sending = client->uploadAudio(
            path, {QStringLiteral("dev@brelta.test"), kStart, kEnd, backend::ApiDto::SessionType::Default, {}});
        co_await std::move(sending);
    } catch (const std::exception &failure) {
        *error = QString::fromUtf8(failure.what());
    }
    *done = true;
}

Ours uploadWithOurClient(quint16 port, const QString &token, const QString &path, const QString &settingsPath)
{
    platform::SettingsStore settings(settingsPath);
    platform::SecretStore secrets;
    backend::KeychainStore keychain(&secrets, QStringLiteral("com.brelta.bench-upload"));
    backend::ApiClientOptions options;
    options.launchArguments = {QStringLiteral("bench_upload")};
    backend::ApiClient client(backend::BackendHosts::loopback(port), &keychain, &settings, nullptr, options);
    client.configureInterceptor(token, QStringLiteral("unused"));

    Ours ours;
    bool done = false;
    resetPeakMemory();
    const double baseline = memoryMiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    upload(&client, path, &done, &ours.error);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ours.wallSeconds = double(timer.nsecsElapsed()) / 1e9;
    ours.peakGrowthMiB = memoryMiB("VmHWM:") - baseline;
    ours.ok = ours.error.isEmpty();
    return ours;
}

// For scale: the growth when the whole file is read into memory first, as an unstreamed upload would.
double growthOfReadingWholeFile(const QString &path)
{
    resetPeakMemory();
    const double baseline = memoryMiB("VmRSS:");
    QFile file(path);
    qsizetype size = 0;
    if (file.open(QIODevice::ReadOnly))
        size = file.readAll().size();
    return size > 0 ? memoryMiB("VmHWM:") - baseline : 0;
}

QStringList curlCommand(quint16 port, const QString &token, const QString &path)
{
    return {QStringLiteral("curl"), QStringLiteral("-sS"), QStringLiteral("--fail"),
            // Without this curl waits a second for a "100 Continue" the server never sends.
            QStringLiteral("-H"), QStringLiteral("Expect:"), QStringLiteral("-H"),
            QStringLiteral("Authorization: Bearer ") + token, QStringLiteral("-F"),
            QStringLiteral("files=@%1;type=audio/m4a").arg(path), QStringLiteral("-F"),
            QStringLiteral("username=dev@brelta.test"), QStringLiteral("-F"),
            QStringLiteral("startTime=") + platform::wiretime::formatWithOffset(kStart), QStringLiteral("-F"),
            QStringLiteral("endTime=") + platform::wiretime::formatWithOffset(kEnd), QStringLiteral("-F"),
            QStringLiteral("sessionType=default"), QStringLiteral("http://127.0.0.1:%1/upload").arg(port)};
}

// POSTs JSON with curl and returns the answer.
nlohmann::json postJson(quint16 port, const QString &path, const nlohmann::json &body)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("-H"),
                QStringLiteral("Content-Type: application/json"), QStringLiteral("-d"),
                QString::fromStdString(body.dump()), QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
    curl.waitForFinished(30000);
    return nlohmann::json::parse(curl.readAllStandardOutput().toStdString(), nullptr, false);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTemporaryDir dir;

    if (arguments.value(1) == QLatin1String("--ours-only") && arguments.size() == 5) {
        const Ours ours = uploadWithOurClient(quint16(arguments[2].toUInt()), arguments[3], arguments[4],
                                              dir.filePath(QStringLiteral("brelta.ini")));
        if (!ours.ok)
            std::fprintf(stderr, "upload failed: %s\n", qPrintable(ours.error));
        return ours.ok ? 0 : 1;
    }

    const int megabytes = arguments.size() > 1 ? arguments[1].toInt() : 30;
    const int runs = arguments.size() > 2 ? std::max(1, arguments[2].toInt()) : 3;

    const QString recording = dir.filePath(QStringLiteral("practice_0123456789abcdef0123456789abcdef.m4a"));
    {
        QByteArray bytes(qsizetype(megabytes) * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        QFile file(recording);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(recording));
            return 1;
        }
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(BRELTA_DEVSERVER),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--upload-dir"),
                  dir.filePath(QStringLiteral("uploads"))});
    quint16 port = 0;
    static const QRegularExpression listening(QStringLiteral("listening on http://[^:]+:(\\d+)"));
    while (port == 0 && server.waitForReadyRead(10000)) {
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(server.readAll()));
        if (match.hasMatch())
            port = quint16(match.captured(1).toUInt());
    }
    if (port == 0) {
        std::fprintf(stderr, "brelta-devserver did not start\n");
        return 1;
    }
    const nlohmann::json login = postJson(port, QStringLiteral("/authn/password?realm=tarvelo"),
                                          {{"username", "dev@brelta.test"}, {"password", "brelta-dev-password"}});
    const nlohmann::json tokens =
        postJson(port, QStringLiteral("/token"), {{"code", login.is_object() ? login.value("code", "") : ""}});
    const QString token = tokens.is_object() ? QString::fromStdString(tokens.value("accessToken", "")) : QString();
    if (token.isEmpty()) {
        std::fprintf(stderr, "cannot sign in to brelta-devserver\n");
        return 1;
    }

    std::vector<double> ourWall, ourGrowth, curlWall, curlPeak, wholeFile;
    for (int run = 0; run < runs; ++run) {
        const Ours ours = uploadWithOurClient(port, token, recording, dir.filePath(QStringLiteral("brelta.ini")));
        const bench::ChildRun curl = bench::runChild(curlCommand(port, token, recording));
        if (!ours.ok || !curl.ok) {
            std::fprintf(stderr, "an upload failed: ours %s, curl %s\n", qPrintable(ours.error),
                         curl.ok ? "ok" : "failed");
            return 1;
        }
        ourWall.push_back(ours.wallSeconds);
        ourGrowth.push_back(ours.peakGrowthMiB);
        curlWall.push_back(curl.wallSeconds);
        curlPeak.push_back(curl.peakRssMiB);
        wholeFile.push_back(growthOfReadingWholeFile(recording));
    }
    server.terminate();
    server.waitForFinished(5000);

    std::printf("uploading a %d MiB recording to brelta-devserver (own process), median of %d runs\n", megabytes, runs);
    std::printf("%-44s %10s  %18s\n", "", "wall", "resident memory");
    std::printf("%-44s %9.2fs  %11.2f MiB peak growth\n", "ApiClient::uploadAudio (streamed from disk)",
                median(ourWall), median(ourGrowth));
    std::printf("%-44s %9.2fs  %11.1f MiB peak of the whole process\n", "curl -F -H Expect:, same parts and token",
                median(curlWall), median(curlPeak));
    std::printf("%-44s %10s  %11.1f MiB peak growth\n", "(for scale: reading the file into memory)", "",
                median(wholeFile));
    std::printf("ratio ours / curl: wall %.2f; our growth is %.0f%% of the file\n", median(ourWall) / median(curlWall),
                100 * median(ourGrowth) / megabytes);
    return 0;
}
