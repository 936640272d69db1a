#include "platform/telemetry/Delivery.h"

#include <QStandardPaths>
#include <QSysInfo>

#include <chrono>

namespace brelta::platform::telemetry {

QNetworkRequest collectorRequest(const QUrl &url, const QByteArray &contentType)
{
    constexpr auto kTimeout = std::chrono::seconds(30);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setTransferTimeout(int(std::chrono::milliseconds(kTimeout).count()));
    return request;
}

bool isWorthRetrying(int httpStatus)
{
    // 401/403: a wrong key can be fixed by the next release; 408/429/5xx: the collector is busy or down.
    return httpStatus == 0 || httpStatus == 401 || httpStatus == 403 || httpStatus == 408 || httpStatus == 429
           || httpStatus >= 500;
}

QString defaultStorageDirectory(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/telemetry/")
           + name;
}

std::string compactJson(const nlohmann::ordered_json &value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json operatingSystemContext()
{
    return {{"name", QSysInfo::productType().toStdString()}, {"version", QSysInfo::productVersion().toStdString()}};
}

} // namespace brelta::platform::telemetry
