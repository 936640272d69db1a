#pragma once

#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"

namespace brelta::analytics {

// How the application configures its two telemetry clients at launch: the compiled-in endpoints (none
// by default) with the launch settings — analytics flushes after 3 queued messages or every 10 s and
// reports application lifecycle events; error tracking samples every trace, watches for main-thread
// hangs and reports the environment "production".
platform::AnalyticsConfiguration launchAnalyticsConfiguration();
platform::ErrorTrackerOptions launchErrorTrackerOptions();

} // namespace brelta::analytics
