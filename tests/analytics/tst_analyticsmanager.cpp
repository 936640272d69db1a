#include "analytics/AnalyticsManager.h"
#include "analytics/Endpoints.h"
#include "analytics/TelemetrySetup.h"

#include "platform/telemetry/TelemetryFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace std::chrono_literals;
using brelta::analytics::AnalyticsManager;
using brelta::platform::AnalyticsClient;
using brelta::platform::AnalyticsConfiguration;
using brelta::platform::ErrorTracker;
using brelta::platform::ManualClock;
using brelta::testsupport::CountingNetworkAccessManager;
using brelta::testsupport::jsonText;
using brelta::testsupport::TelemetryFixture;
namespace event = brelta::analytics::event;

namespace {

bool endpointsCompiledIn()
{
    return *brelta::analytics::endpoints::kAnalyticsWriteKey || *brelta::analytics::endpoints::kAnalyticsHost
           || *brelta::analytics::endpoints::kErrorDsn;
}

} // namespace

class AnalyticsManagerTest : public QObject
{
    Q_OBJECT

private:
    static AnalyticsConfiguration sendAtOnce(const TelemetryFixture &f)
    {
        AnalyticsConfiguration configuration = f.analyticsConfiguration();
        configuration.flushAt = 1;
        return configuration;
    }

private slots:
    void eventsBeforeTheClientIsSetAreLost()
    {
        TelemetryFixture f;
        AnalyticsClient client(sendAtOnce(f), &f.network, &f.clock);
        AnalyticsManager manager;

        manager.send(event::ScreenShown{.screenName = event::ScreenName::SettingsView});
        manager.identify(QStringLiteral("early"), QStringLiteral("early@example.com"));
        QCOMPARE(client.queuedCount(), 0);

        manager.setClient(&client);
        manager.send(event::RecordingSent{.mediaFormat = QStringLiteral("m4a"),
                                          .recordingTitle = QStringLiteral("practice_1.m4a"),
                                          .recordingLengthSec = 754,
                                          .recordingSizeBytes = 3021456});

        QTRY_COMPARE(f.collector.batches().size(), 1);
        const QList<nlohmann::json> messages = f.collector.batchMessages();
        QCOMPARE(messages.size(), 1);
        const nlohmann::json &sent = messages.first();
        QCOMPARE(jsonText(sent.at("event")), "Recording Sent");
        QCOMPARE(jsonText(sent.at("event")), jsonText(sent.at("properties").at("name")));
        QCOMPARE(jsonText(sent.at("properties")),
                 R"({"is_retry":null,"media_format":"m4a","media_type":"AUDIO","name":"Recording Sent",)"
                 R"("recording_length_sec":754,"recording_size_bytes":3021456,"recording_title":"practice_1.m4a",)"
                 R"json("schema_version":6,"source_type":"Mac App (production)"})json");
        QVERIFY(!sent.contains("userId"));
    }

    void identifyAndResetGoThroughTheClient()
    {
        TelemetryFixture f;
        AnalyticsClient client(sendAtOnce(f), &f.network, &f.clock);
        AnalyticsManager manager;
        manager.setClient(&client);

        manager.identify(QStringLiteral("user-5"), QStringLiteral("ada@example.com"));
        QTRY_COMPARE(f.collector.batchMessages().size(), 1);
        manager.reset();
        manager.send(event::SyncGoogleCalendarEvents{});
        QTRY_COMPARE(f.collector.batchMessages().size(), 2);

        const QList<nlohmann::json> messages = f.collector.batchMessages();
        QCOMPARE(jsonText(messages.at(0).at("type")), "identify");
        QCOMPARE(jsonText(messages.at(0).at("userId")), "user-5");
        QCOMPARE(jsonText(messages.at(0).at("traits")), R"({"username":"ada@example.com"})");
        // Still sent after the reset, without the user.
        QCOMPARE(jsonText(messages.at(1).at("event")), "Sync Google Calendar Events");
        QVERIFY(!messages.at(1).contains("userId"));
    }

    void sendsFromBackgroundThreadsArrive()
    {
        TelemetryFixture f;
        AnalyticsConfiguration configuration = sendAtOnce(f);
        configuration.flushAt = 2;
        AnalyticsClient client(configuration, &f.network, &f.clock);
        AnalyticsManager manager;
        manager.setClient(&client);

        std::thread poller([&manager] {
            manager.send(event::ScheduleNotificationMessage{.messageId = QStringLiteral("m-1"),
                                                            .scheduleDate = QStringLiteral("2024-01-01T09:00:00+0000"),
                                                            .scheduleLocalDate = QStringLiteral("2024-01-01 10:00")});
            manager.send(event::ShowScheduledNotificationMessage{.messageId = QStringLiteral("m-1"),
                                                                 .messageSlot = QStringLiteral("morning")});
        });
        poller.join();

        QTRY_COMPARE(f.collector.batchMessages().size(), 2);
        const nlohmann::json shown = f.collector.batchMessages().at(1);
        QCOMPARE(jsonText(shown.at("properties").at("message_slot")), "morning");
    }

    void theLaunchConfiguration()
    {
        const AnalyticsConfiguration analytics = brelta::analytics::launchAnalyticsConfiguration();
        QCOMPARE(analytics.flushAt, 3);
        QCOMPARE(analytics.flushInterval, std::chrono::milliseconds(10s));
        QVERIFY(analytics.trackApplicationLifecycleEvents);
        QCOMPARE(analytics.writeKey, QString::fromUtf8(brelta::analytics::endpoints::kAnalyticsWriteKey));

        const brelta::platform::ErrorTrackerOptions errors = brelta::analytics::launchErrorTrackerOptions();
        QCOMPARE(errors.tracesSampleRate, 1.0);
        QVERIFY(errors.enableAppHangTracking);
        QCOMPARE(errors.appHangTimeout, std::chrono::milliseconds(2s));
        QCOMPARE(errors.environment, QStringLiteral("production"));
        QVERIFY(errors.enabled);
        QCOMPARE(errors.dsn, QString::fromUtf8(brelta::analytics::endpoints::kErrorDsn));
    }

    void nothingIsSentWithoutCompiledInEndpoints()
    {
        if (endpointsCompiledIn())
            QSKIP("this build has endpoints compiled in");
        QTemporaryDir storage;
        ManualClock clock;
        CountingNetworkAccessManager network;

        AnalyticsConfiguration analyticsConfiguration = brelta::analytics::launchAnalyticsConfiguration();
        analyticsConfiguration.storageDirectory = storage.path() + QStringLiteral("/analytics");
        AnalyticsClient client(analyticsConfiguration, &network, &clock);
        AnalyticsManager manager;
        manager.setClient(&client);
        manager.identify(QStringLiteral("user-1"), QStringLiteral("ada@example.com"));
        for (int i = 0; i < 4; ++i)
            manager.send(event::InteractionTaken{.screenName = event::ScreenName::MainView,
                                                 .componentName = event::ComponentName::StartRecordingButton});
        clock.advance(30s);

        brelta::platform::ErrorTrackerOptions errorOptions = brelta::analytics::launchErrorTrackerOptions();
        errorOptions.storageDirectory = storage.path() + QStringLiteral("/errors");
        errorOptions.enableAppHangTracking = false;
        ErrorTracker errors(errorOptions, &network, &clock);
        errors.captureMessage(QStringLiteral("nowhere to go"));
        QTest::qWait(50);

        QCOMPARE(network.requestCount(), 0);
        QCOMPARE(client.queuedCount(), 0);
        QCOMPARE(errors.pendingCount(), 0);
        QCOMPARE(QDir(storage.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }
};

QTEST_GUILESS_MAIN(AnalyticsManagerTest)
#include "tst_analyticsmanager.moc"
