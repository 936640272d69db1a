#pragma once

// What the analytics and error-tracking clients share about delivering to a collector.

#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <string>

namespace brelta::platform::telemetry {

// A POST request to a collector, with the content type and a transfer timeout.
QNetworkRequest collectorRequest(const QUrl &url, const QByteArray &contentType);

// Whether the same payload may be accepted later after a request ended with this HTTP status (0 = no
// answer at all). Other 4xx answers mean the collector will never take it.
bool isWorthRetrying(int httpStatus);

// `<application data folder>/telemetry/<name>`.
QString defaultStorageDirectory(const QString &name);

// Compact JSON text; text that is not valid UTF-8 is replaced rather than failing the report.
std::string compactJson(const nlohmann::ordered_json &value);

// The operating system as both protocols describe it: {"name", "version"}.
nlohmann::ordered_json operatingSystemContext();

} // namespace brelta::platform::telemetry
