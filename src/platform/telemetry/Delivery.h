#pragma once

// What the analytics and error-tracking clients share about delivering to a collector.

#include <QDateTime>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>

namespace brelta::platform::telemetry {

// A POST request to a collector, with the content type and a transfer timeout.
QNetworkRequest collectorRequest(const QUrl &url, const QByteArray &contentType);

// Whether the same payload may be accepted later after a request ended with this HTTP status (0 = no
// answer at all). Other 4xx answers mean the collector will never take it.
bool isWorthRetrying(int httpStatus);

// The longest a collector may make a client wait before it tries again: a longer wait it asks for is
// cut to this, so a wrong header cannot silence a client for good.
inline constexpr std::chrono::seconds kLongestCollectorWait = std::chrono::hours(1);

// The wait a Retry-After header value asks for: delay-seconds, or an HTTP date measured from `now`;
// at most kLongestCollectorWait, nothing when the value is neither.
std::optional<std::chrono::seconds> retryAfter(const QByteArray &value, const QDateTime &now);

// `<application data folder>/telemetry/<name>`.
QString defaultStorageDirectory(const QString &name);

// Compact JSON text; text that is not valid UTF-8 is replaced rather than failing the report.
std::string compactJson(const nlohmann::ordered_json &value);

// The operating system as both protocols describe it: {"name", "version"}.
nlohmann::ordered_json operatingSystemContext();

} // namespace brelta::platform::telemetry
