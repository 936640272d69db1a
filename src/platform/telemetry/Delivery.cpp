#include "platform/telemetry/Delivery.h"

#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
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

std::optional<std::chrono::seconds> retryAfter(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool fits = false;
        const qint64 seconds = text.toLongLong(&fits);
        // Digits too many for a number are a wait longer than any we keep.
        return fits ? std::min(std::chrono::seconds(seconds), kLongestCollectorWait) : kLongestCollectorWait;
    }
    // An HTTP date ends in "GMT", which Qt's RFC 2822 reading does not take.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(4) + QStringLiteral(" +0000");
    const QDateTime moment = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!moment.isValid())
        return std::nullopt;
    const qint64 seconds = std::max<qint64>(0, now.secsTo(moment));
    return std::min(std::chrono::seconds(seconds), kLongestCollectorWait);
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
