#include "analytics/TelemetrySetup.h"

#include "analytics/Endpoints.h"

namespace brelta::analytics {

platform::AnalyticsConfiguration launchAnalyticsConfiguration()
{
    platform::AnalyticsConfiguration configuration;
    configuration.writeKey = QString::fromUtf8(endpoints::kAnalyticsWriteKey);
    configuration.host = QUrl(QString::fromUtf8(endpoints::kAnalyticsHost));
    configuration.flushAt = 3;
    configuration.flushInterval = std::chrono::seconds(10);
    configuration.trackApplicationLifecycleEvents = true;
    return configuration;
}

platform::ErrorTrackerOptions launchErrorTrackerOptions()
{
    platform::ErrorTrackerOptions options;
    options.dsn = QString::fromUtf8(endpoints::kErrorDsn);
    options.tracesSampleRate = 1.0;
    options.enableAppHangTracking = true;
    options.appHangTimeout = std::chrono::seconds(2);
    options.environment = QStringLiteral("production");
    options.enabled = true;
    options.debug = false;
    return options;
}

} // namespace brelta::analytics
