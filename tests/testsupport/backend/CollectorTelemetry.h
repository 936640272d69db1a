#pragma once

// The analytics and error-tracking clients of a test, sending to the in-process local backend's collector,
// where the test reads what they sent.

#include "analytics/AnalyticsManager.h"
#include "devserver/DevServer.h"
#include "platform/Clock.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"

#include <QDir>
#include <QNetworkAccessManager>

#include <memory>

namespace brelta::testsupport {

struct CollectorTelemetry
{
    // Stores their queues in "errors" and "analytics" under `storageDirectory`; every event is sent at once.
    CollectorTelemetry(devserver::DevServer &server, platform::Clock *clock, const QString &storageDirectory)
    {
        devserver::Collector &collector = server.collector();
        platform::ErrorTrackerOptions errors;
        errors.dsn = collector.errorDsn(server.baseUrl());
        errors.storageDirectory = QDir(storageDirectory).filePath(QStringLiteral("errors"));
        errors.installCrashHandler = false;
        errorTracker = std::make_unique<platform::ErrorTracker>(errors, &network, clock);
        platform::AnalyticsConfiguration events;
        events.writeKey = collector.keys().analyticsWriteKey;
        events.host = server.baseUrl();
        events.flushAt = 1;
        events.storageDirectory = QDir(storageDirectory).filePath(QStringLiteral("analytics"));
        analyticsClient = std::make_unique<platform::AnalyticsClient>(events, &network, clock);
        analytics.setClient(analyticsClient.get());
    }

    QNetworkAccessManager network;
    std::unique_ptr<platform::ErrorTracker> errorTracker;
    std::unique_ptr<platform::AnalyticsClient> analyticsClient;
    analytics::AnalyticsManager analytics;
};

} // namespace brelta::testsupport
