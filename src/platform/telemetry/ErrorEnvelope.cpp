#include "platform/telemetry/ErrorEnvelope.h"

#include "platform/telemetry/Delivery.h"

#include <QUuid>

#include <algorithm>
#include <cmath>

namespace brelta::platform {

std::optional<Dsn> Dsn::parse(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.userName().isEmpty() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        return std::nullopt;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    Dsn dsn;
    dsn.publicKey = url.userName();
    dsn.projectId = path.mid(slash + 1);
    if (dsn.projectId.isEmpty())
        return std::nullopt;
    QUrl endpoint;
    endpoint.setScheme(url.scheme());
    endpoint.setHost(url.host());
    endpoint.setPort(url.port());
    endpoint.setPath(path.left(std::max<qsizetype>(slash, 0)) + QStringLiteral("/api/") + dsn.projectId
                     + QStringLiteral("/envelope/"));
    dsn.envelopeUrl = endpoint;
    return dsn;
}

QByteArray Dsn::authHeader(const QString &clientName) const
{
    return QStringLiteral("Sentry sentry_version=7, sentry_client=%1, sentry_key=%2")
        .arg(clientName, publicKey)
        .toUtf8();
}

std::optional<std::chrono::seconds> errorRateLimit(const QByteArray &header)
{
    std::optional<std::chrono::seconds> longest;
    for (const QByteArray &entry : header.split(',')) {
        const QList<QByteArray> fields = entry.trimmed().split(':');
        bool isNumber = false;
        const double seconds = fields.value(0).toDouble(&isNumber);
        if (!isNumber || !std::isfinite(seconds) || seconds < 0)
            continue;
        const QList<QByteArray> categories = fields.value(1).split(';');
        const bool applies = fields.value(1).trimmed().isEmpty()
                             || std::any_of(categories.begin(), categories.end(),
                                            [](const QByteArray &c) { return c.trimmed() == "error"; });
        if (!applies)
            continue;
        const auto wait = seconds >= double(telemetry::kLongestCollectorWait.count())
                              ? telemetry::kLongestCollectorWait
                              : std::chrono::seconds(qint64(std::ceil(seconds)));
        longest = std::max(longest.value_or(std::chrono::seconds(0)), wait);
    }
    return longest;
}

QString newEventId()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

QByteArray envelopeForEvent(const nlohmann::ordered_json &event, const QString &dsnText)
{
    const std::string payload = telemetry::compactJson(event);
    nlohmann::ordered_json header = nlohmann::ordered_json::object();
    header["event_id"] = event.value("event_id", std::string());
    header["dsn"] = dsnText.toStdString();
    const nlohmann::ordered_json itemHeader = {
        {"type", "event"}, {"content_type", "application/json"}, {"length", payload.size()}};
    return QByteArray::fromStdString(telemetry::compactJson(header) + '\n' + telemetry::compactJson(itemHeader) + '\n'
                                     + payload + '\n');
}

std::optional<nlohmann::json> eventInEnvelope(const QByteArray &envelope)
{
    // Header, item header, payload: the only shape this client writes.
    const QList<QByteArray> lines = envelope.split('\n');
    if (lines.size() < 3)
        return std::nullopt;
    const nlohmann::json event = nlohmann::json::parse(lines.at(2).toStdString(), nullptr, false);
    if (event.is_discarded() || !event.is_object())
        return std::nullopt;
    return event;
}

} // namespace brelta::platform
