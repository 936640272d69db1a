#include "platform/telemetry/CrashHandler.h"
#include "platform/telemetry/ErrorEnvelope.h"
#include "platform/telemetry/ErrorTracker.h"

#include "platform/BuildInfo.h"
#include "platform/telemetry/TelemetryFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;
using brelta::platform::CrashHandler;
using brelta::platform::Dsn;
using brelta::platform::ErrorTracker;
using brelta::platform::ErrorTrackerOptions;
using brelta::testsupport::CountingNetworkAccessManager;
using brelta::testsupport::jsonText;
using brelta::testsupport::TelemetryFixture;

class RecordingTooShort : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

namespace {

QString expectedRelease()
{
    return QStringLiteral("%1@%2+%3")
        .arg(QLatin1String(brelta::buildinfo::kBundleIdentifier), QLatin1String(brelta::buildinfo::kVersion),
             QLatin1String(brelta::buildinfo::kBuildNumber));
}

const QString kUserBeforeTheCrash = QStringLiteral("user-42\nsignal 1"); // a line break must not forge a line

// Kept out of line and opaque to the optimiser, so it stays a real store at a known place.
[[gnu::noipa]] void writeThrough(volatile int *target)
{
    *target = 42;
}

// Where the test program's copy of `function` starts, from the start of the program's image: the same
// in the crashed child as here.
quint64 offsetInThisProgram(const void *function)
{
    Dl_info info{};
    if (::dladdr(function, &info) == 0 || !info.dli_fbase)
        return 0;
    return quint64(reinterpret_cast<quintptr>(function) - reinterpret_cast<quintptr>(info.dli_fbase));
}

// The child process of the crash test: starts the tracker with its crash handler, then dies of `kind`.
[[noreturn]] void crashAsChild(const QString &storage, const QString &kind)
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    QNetworkAccessManager network;
    ErrorTrackerOptions options;
    options.dsn = QStringLiteral("http://key@127.0.0.1:9/1");
    options.storageDirectory = storage;
    brelta::platform::SystemClock clock;
    ErrorTracker tracker(options, &network, &clock);
    tracker.setUser(kUserBeforeTheCrash);
    if (kind == QLatin1String("segv"))
        writeThrough(nullptr);
    std::abort();
}

} // namespace

class ErrorTrackerTest : public QObject
{
    Q_OBJECT

private slots:
    void dsnParsing_data()
    {
        QTest::addColumn<QString>("dsn");
        QTest::addColumn<QString>("envelopeUrl"); // empty = refused
        QTest::addColumn<QString>("key");

        QTest::newRow("hosted") << "https://abc123@o1.ingest.example.io/42"
                                << "https://o1.ingest.example.io/api/42/envelope/"
                                << "abc123";
        QTest::newRow("self-hosted with port and path") << "http://key@10.0.0.5:9000/errors/7"
                                                        << "http://10.0.0.5:9000/errors/api/7/envelope/"
                                                        << "key";
        QTest::newRow("no public key") << "https://o1.ingest.example.io/42"
                                       << ""
                                       << "";
        QTest::newRow("no project") << "https://abc@o1.ingest.example.io/"
                                    << ""
                                    << "";
        QTest::newRow("not http") << "ftp://abc@example.io/1"
                                  << ""
                                  << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }

    void dsnParsing()
    {
        QFETCH(QString, dsn);
        QFETCH(QString, envelopeUrl);
        QFETCH(QString, key);
        const std::optional<Dsn> parsed = Dsn::parse(dsn);
        QCOMPARE(parsed.has_value(), !envelopeUrl.isEmpty());
        if (parsed) {
            QCOMPARE(parsed->envelopeUrl.toString(), envelopeUrl);
            QCOMPARE(parsed->publicKey, key);
        }
    }

    void anErrorReachesTheCollectorWithEnvironmentReleaseAndUser()
    {
        TelemetryFixture f;
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        tracker.setUser(QStringLiteral("user-42"));

        tracker.captureError(RecordingTooShort("The session was too short"));

        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        const nlohmann::json event = f.collector.errorEvents().first();
        const nlohmann::json &exception = event.at("exception").at("values").at(0);
        QCOMPARE(jsonText(exception.at("type")), "RecordingTooShort");
        QCOMPARE(jsonText(exception.at("value")), "The session was too short");
        QCOMPARE(jsonText(event.at("level")), "error");
        QCOMPARE(jsonText(event.at("environment")), "production");
        QCOMPARE(jsonText(event.at("release")), expectedRelease());
        QCOMPARE(jsonText(event.at("user").at("id")), "user-42");
        QCOMPARE(event.at("event_id").get<std::string>().size(), size_t(32));
        QCOMPARE(jsonText(f.collector.envelopes().first().header.at("event_id")), jsonText(event.at("event_id")));
        QTRY_COMPARE(tracker.pendingCount(), 0);
    }

    void aMessageWithoutUserAfterTheUserIsCleared()
    {
        TelemetryFixture f;
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        tracker.setUser(QStringLiteral("user-42"));
        tracker.setUser(std::nullopt);

        tracker.captureMessage(QStringLiteral("Restart succeed"), ErrorTracker::Level::Info);

        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        const nlohmann::json event = f.collector.errorEvents().first();
        QCOMPARE(jsonText(event.at("logentry").at("message")), "Restart succeed");
        QVERIFY(!event.contains("message"));
        QCOMPARE(jsonText(event.at("level")), "info");
        QVERIFY(!event.contains("user"));
    }

    void reportsFromOtherThreadsArriveInFull()
    {
        TelemetryFixture f;
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);

        std::thread worker([&tracker] {
            for (int i = 0; i < 3; ++i)
                tracker.captureMessage(QStringLiteral("background %1").arg(i));
        });
        worker.join();

        QTRY_COMPARE(f.collector.errorEvents().size(), 3);
    }

    void reportsMadeOfflineAreSentByTheNextStart()
    {
        TelemetryFixture f;
        ErrorTrackerOptions offline = f.errorOptions();
        offline.dsn = f.collector.errorDsn(brelta::testsupport::unreachableUrl());
        {
            ErrorTracker tracker(offline, &f.network, &f.clock);
            QSignalSpy finished(&tracker, &ErrorTracker::envelopeFinished);
            tracker.captureError(QStringLiteral("UploadAudioError"), QStringLiteral("connection refused"));
            QVERIFY(finished.wait());
            QCOMPARE(finished.first().first().toBool(), false);
            QCOMPARE(tracker.pendingCount(), 1);
        }

        ErrorTracker restarted(f.errorOptions(), &f.network, &f.clock);
        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        QCOMPARE(jsonText(f.collector.errorEvents().first().at("exception").at("values").at(0).at("type")),
                 "UploadAudioError");
        QTRY_COMPARE(restarted.pendingCount(), 0);
    }

    void aRefusedReportIsTriedAgainLater()
    {
        TelemetryFixture f;
        f.server.setFailure(f.collector.envelopePath(), 503);
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        QSignalSpy finished(&tracker, &ErrorTracker::envelopeFinished);

        tracker.captureMessage(QStringLiteral("while the collector is down"));
        QVERIFY(finished.wait());
        QCOMPARE(finished.last().first().toBool(), false);
        f.server.clearFailure(f.collector.envelopePath());

        f.clock.advance(29s);
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        f.clock.advance(1s);
        QVERIFY(finished.wait());
        QCOMPARE(finished.last().first().toBool(), true);
        QCOMPARE(f.collector.errorEvents().size(), 1);
        QCOMPARE(tracker.pendingCount(), 0);
    }

    void aCrashIsReportedByTheNextStart_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("signalName");
        QTest::addColumn<QString>("exportedFunction"); // a frame the backtrace must name; empty = none
        QTest::addColumn<QString>("innermostModule");  // "program", or part of a library's name
        QTest::newRow("segmentation fault") << "segv"
                                            << "SIGSEGV"
                                            << ""
                                            << "program";
        QTest::newRow("abort") << "abort"
                               << "SIGABRT"
                               << "abort"
                               << "libc.so";
    }

    void aCrashIsReportedByTheNextStart()
    {
        QFETCH(QString, kind);
        QFETCH(QString, signalName);
        QFETCH(QString, exportedFunction);
        QFETCH(QString, innermostModule);
        TelemetryFixture f;

        QProcess child;
        // In a sanitizer build the signal would be handed on to AddressSanitizer's own handler, which
        // ends the process with a normal exit; the default action is what a user's run meets.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":handle_segv=0"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--crash-child"), f.errorOptions().storageDirectory, kind});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QDir crashes(f.errorOptions().storageDirectory + QStringLiteral("/crashes"));
        QCOMPARE(crashes.entryList({QStringLiteral("*.report")}, QDir::Files).size(), 1);

        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);

        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        const nlohmann::json event = f.collector.errorEvents().first();
        QCOMPARE(jsonText(event.at("level")), "fatal");
        QCOMPARE(jsonText(event.at("release")), expectedRelease());
        QCOMPARE(jsonText(event.at("environment")), "production");
        const nlohmann::json &exception = event.at("exception").at("values").at(0);
        QCOMPARE(jsonText(exception.at("type")), signalName);
        QCOMPARE(jsonText(exception.at("mechanism").at("handled")), "false");
        QCOMPARE(jsonText(event.at("user").at("id")), kUserBeforeTheCrash);
        const nlohmann::json &frames = exception.at("stacktrace").at("frames");
        QVERIFY(frames.size() >= 3);
        const nlohmann::json &images = event.at("debug_meta").at("images");

        // Every frame has its address; a frame in a known module gives its offset in that module's image.
        QStringList functions;
        QStringList packages;
        for (const nlohmann::json &frame : frames) {
            QVERIFY(jsonText(frame.at("instruction_addr")).startsWith(QLatin1String("0x")));
            functions << QString::fromStdString(frame.value("function", std::string()));
            packages << QString::fromStdString(frame.value("package", std::string()));
            const QString mode = QString::fromStdString(frame.value("addr_mode", std::string("abs")));
            if (mode != QLatin1String("abs")) {
                QVERIFY2(mode.startsWith(QLatin1String("rel:")), qPrintable(mode));
                const nlohmann::json &image = images.at(mode.mid(4).toUInt());
                QCOMPARE(jsonText(image.at("code_file")), packages.last());
            }
        }
        QVERIFY2(packages.contains(QCoreApplication::applicationFilePath()),
                 qPrintable(packages.join(QLatin1Char('\n'))));
        if (!exportedFunction.isEmpty())
            QVERIFY2(functions.contains(exportedFunction), qPrintable(functions.join(QLatin1Char('\n'))));

        // The program's image, with what a server needs to find its symbols.
        const auto program = std::find_if(images.begin(), images.end(), [](const nlohmann::json &image) {
            return jsonText(image.at("code_file")) == QCoreApplication::applicationFilePath();
        });
        QVERIFY(program != images.end());
        QCOMPARE(jsonText(program->at("type")), "elf");
        QVERIFY(jsonText(program->at("image_addr")).startsWith(QLatin1String("0x")));
        QVERIFY(program->at("image_size").get<quint64>() > 0);
        const QString codeId = jsonText(program->at("code_id"));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{16,}$")).match(codeId).hasMatch(), qPrintable(codeId));
        QCOMPARE(jsonText(program->at("debug_id")), brelta::platform::debugIdFromBuildId(codeId.toLatin1()));

        // The innermost frame is where the crash happened, not the signal handler.
        const nlohmann::json &innermost = frames.back();
        if (innermostModule == QLatin1String("program")) {
            QCOMPARE(jsonText(innermost.value("package", "")), QCoreApplication::applicationFilePath());
            const quint64 offset = jsonText(innermost.at("instruction_addr")).toULongLong(nullptr, 16);
            const quint64 crashSite = offsetInThisProgram(reinterpret_cast<const void *>(&writeThrough));
            QVERIFY2(
                offset >= crashSite && offset < crashSite + 64,
                qPrintable(QStringLiteral("frame at +%1, crash site at +%2").arg(offset, 0, 16).arg(crashSite, 0, 16)));
        } else {
            QVERIFY2(jsonText(innermost.value("package", "")).contains(innermostModule),
                     qPrintable(packages.join(QLatin1Char('\n'))));
        }
        QVERIFY(crashes.entryList({QStringLiteral("*.report")}, QDir::Files).isEmpty());
    }

    void debugIdsComeFromBuildIds_data()
    {
        QTest::addColumn<QByteArray>("buildId");
        QTest::addColumn<QString>("debugId");

        QTest::newRow("20-byte id") << QByteArray("68220ae2c65d65c1b6aaa12fa6765a6ec2f5f434")
                                    << "e20a2268-5dc6-c165-b6aa-a12fa6765a6e";
        QTest::newRow("short id is padded") << QByteArray("0102030405") << "04030201-0005-0000-0000-000000000000";
        QTest::newRow("not hex") << QByteArray("xyz0") << "";
        QTest::newRow("odd number of digits") << QByteArray("abc") << "";
        QTest::newRow("empty") << QByteArray() << "";
    }

    void debugIdsComeFromBuildIds()
    {
        QFETCH(QByteArray, buildId);
        QFETCH(QString, debugId);
        QCOMPARE(brelta::platform::debugIdFromBuildId(buildId), debugId);
    }

    void theCollectorsPauseIsKept_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("pauseSeconds");

        QTest::newRow("rate limit on errors")
            << QByteArray("X-Sentry-Rate-Limits") << QByteArray("120:error;transaction:organization") << 120;
        QTest::newRow("rate limit on every category")
            << QByteArray("X-Sentry-Rate-Limits") << QByteArray("90::organization, 30:error:key") << 90;
        QTest::newRow("rate limit on another category only")
            << QByteArray("X-Sentry-Rate-Limits") << QByteArray("300:transaction:organization") << 60;
        QTest::newRow("Retry-After") << QByteArray("Retry-After") << QByteArray("45") << 45;
        QTest::newRow("nothing said") << QByteArray() << QByteArray() << 60;
        QTest::newRow("a wait past the longest retry delay")
            << QByteArray("X-Sentry-Rate-Limits") << QByteArray("999999999::organization") << 3600;
    }

    void theCollectorsPauseIsKept()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, value);
        QFETCH(int, pauseSeconds);
        TelemetryFixture f;
        brelta::devserver::CannedResponse busy = brelta::devserver::CannedResponse::failure(429);
        if (!header.isEmpty())
            busy.headers = {{header, value}};
        f.server.respondNext(f.collector.envelopePath(), busy);
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        QSignalSpy finished(&tracker, &ErrorTracker::envelopeFinished);

        tracker.captureMessage(QStringLiteral("while the collector is busy"));
        QVERIFY(finished.wait());
        QCOMPARE(finished.last().first().toBool(), false);
        tracker.captureMessage(QStringLiteral("during the pause"));
        f.clock.advance(std::chrono::seconds(pauseSeconds) - 1s);
        QTest::qWait(100);
        QCOMPARE(f.server.receivedRequests(f.collector.envelopePath()).size(), 1);

        f.clock.advance(1s);
        QTRY_COMPARE(f.collector.errorEvents().size(), 2);
        QTRY_COMPARE(tracker.pendingCount(), 0);
    }

    void aRateLimitOnAnAcceptedReportHoldsTheNextOnes()
    {
        TelemetryFixture f;
        const brelta::devserver::CannedResponse accepted{
            200, "application/json", R"({"id":"x"})", {{"X-Sentry-Rate-Limits", "60:error:organization"}}};
        f.server.respondNext(f.collector.envelopePath(), accepted);
        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        QSignalSpy finished(&tracker, &ErrorTracker::envelopeFinished);

        tracker.captureMessage(QStringLiteral("accepted, with a limit"));
        QVERIFY(finished.wait());
        QCOMPARE(finished.last().first().toBool(), true);
        tracker.captureMessage(QStringLiteral("held"));
        f.clock.advance(59s);
        QTest::qWait(100);
        QCOMPARE(f.server.receivedRequests(f.collector.envelopePath()).size(), 1);

        f.clock.advance(1s);
        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        QCOMPARE(jsonText(f.collector.errorEvents().first().at("logentry").at("message")), "held");
    }

    void aDamagedCrashReportIsSetAside()
    {
        TelemetryFixture f;
        QVERIFY(QDir().mkpath(f.errorOptions().storageDirectory + QStringLiteral("/crashes")));
        QFile damaged(f.errorOptions().storageDirectory + QStringLiteral("/crashes/crash-1.report"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("brelta-crash-report 1\nrelease x\n"); // cut short before the signal line
        damaged.close();

        ErrorTracker tracker(f.errorOptions(), &f.network, &f.clock);
        tracker.captureMessage(QStringLiteral("after"));

        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        QCOMPARE(jsonText(f.collector.errorEvents().first().at("logentry").at("message")), "after");
        QVERIFY(QFile::exists(damaged.fileName() + QStringLiteral(".rejected")));
    }

    void aBlockedMainThreadIsReportedAsAHang()
    {
        TelemetryFixture f;
        ErrorTrackerOptions options = f.errorOptions();
        options.enableAppHangTracking = true;
        options.appHangTimeout = 500ms;
        ErrorTracker tracker(options, &f.network, &f.clock);
        QTest::qWait(100); // the heartbeat runs

        QThread::msleep(1500);

        QTRY_COMPARE(f.collector.errorEvents().size(), 1);
        const nlohmann::json event = f.collector.errorEvents().first();
        const nlohmann::json &exception = event.at("exception").at("values").at(0);
        QCOMPARE(jsonText(exception.at("type")), "App Hanging");
        QCOMPARE(jsonText(exception.at("value")), "App hanging for at least 500 ms.");
        // One hang, one report; a running loop raises none.
        QTest::qWait(500);
        QCOMPARE(f.collector.errorEvents().size(), 1);
    }

    void withoutADsnNothingIsSentOrKept()
    {
        QTemporaryDir storage;
        CountingNetworkAccessManager network;
        brelta::platform::ManualClock clock;
        ErrorTrackerOptions options;
        options.storageDirectory = storage.path() + QStringLiteral("/errors");
        ErrorTracker tracker(options, &network, &clock);

        tracker.setUser(QStringLiteral("user-1"));
        tracker.captureError(QStringLiteral("AppError"), QStringLiteral("username was not found"));
        tracker.captureMessage(QStringLiteral("Restart error"));
        QTest::qWait(50);

        QCOMPARE(network.requestCount(), 0);
        QCOMPARE(tracker.pendingCount(), 0);
        QVERIFY(!CrashHandler::isInstalled());
        QVERIFY(!QDir(options.storageDirectory).exists());
    }
};

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--crash-child") == 0) {
        QCoreApplication app(argc, argv);
        crashAsChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    ErrorTrackerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errortracker.moc"
