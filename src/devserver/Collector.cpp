#include "devserver/Collector.h"

#include "devserver/Http.h"
#include "platform/Json.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

#include <stdexcept>

namespace brelta::devserver {
namespace {

QHttpServerResponse refuse(int status, const QString &message)
{
    qCWarning(lcDevServer).noquote() << "collector refused:" << message;
    return errorResponse(status, message);
}

nlohmann::json parseObject(QByteArrayView text)
{
    nlohmann::json value = platform::parseJson(std::string_view(text.data(), std::size_t(text.size())));
    if (!value.is_object())
        throw std::invalid_argument("not a JSON object");
    return value;
}

// "Sentry sentry_key=abc, sentry_version=7" -> "abc".
QString sentryKeyFromHeader(const QByteArray &value)
{
    const QString text = QString::fromUtf8(value);
    for (QString part : text.section(QLatin1Char(' '), 1).split(QLatin1Char(','))) {
        part = part.trimmed();
        if (part.startsWith(QLatin1String("sentry_key=")))
            return part.mid(int(qstrlen("sentry_key=")));
    }
    return {};
}

// Header line, then items: a header line followed by `length` bytes, or by one line without a length.
// Positions only ever move forward within the body; lengths are compared with what is left, never added.
Collector::Envelope parseEnvelope(const QByteArray &body)
{
    const auto lineEndFrom = [&body](qsizetype from) {
        const qsizetype end = body.indexOf('\n', from);
        return end < 0 ? body.size() : end;
    };
    Collector::Envelope envelope;
    qsizetype position = lineEndFrom(0);
    envelope.header = parseObject(QByteArrayView(body).first(position));
    position = std::min(position + 1, body.size());
    while (position < body.size()) {
        const qsizetype lineEnd = lineEndFrom(position);
        if (lineEnd == position) { // blank line or trailing newline
            ++position;
            continue;
        }
        Collector::EnvelopeItem item;
        item.header = parseObject(QByteArrayView(body).sliced(position, lineEnd - position));
        position = std::min(lineEnd + 1, body.size());
        if (item.header.contains("length")) {
            const nlohmann::json &declared = item.header.at("length");
            if (!declared.is_number_unsigned())
                throw std::invalid_argument("item length is not a count of bytes");
            if (declared.get<std::uint64_t>() > std::uint64_t(body.size() - position))
                throw std::invalid_argument("item length runs past the end of the envelope");
            const auto length = qsizetype(declared.get<std::uint64_t>());
            item.payload = body.sliced(position, length);
            position = std::min(position + length + 1, body.size());
        } else {
            const qsizetype payloadEnd = lineEndFrom(position);
            item.payload = body.sliced(position, payloadEnd - position);
            position = std::min(payloadEnd + 1, body.size());
        }
        if (item.header.value("type", "") == "event")
            parseObject(item.payload); // kept events must read back
        envelope.items.append(std::move(item));
    }
    return envelope;
}

} // namespace

Collector::Collector(QObject *parent) : Collector(Keys{}, parent) {}

Collector::Collector(Keys keys, QObject *parent) : QObject(parent), m_keys(std::move(keys)) {}

void Collector::install(QHttpServer &server)
{
    RouteTable routes(server);
    routes.add(batchPath(), QHttpServerRequest::Method::Post,
               [this](const QHttpServerRequest &request) { return handleBatch(request); });
    routes.add(envelopePath(), QHttpServerRequest::Method::Post,
               [this](const QHttpServerRequest &request) { return handleEnvelope(request); });
}

QString Collector::envelopePath() const
{
    return QStringLiteral("/api/%1/envelope/").arg(m_keys.errorProject);
}

QString Collector::errorDsn(const QUrl &baseUrl) const
{
    QUrl url(baseUrl);
    url.setUserName(m_keys.errorPublicKey);
    url.setPath(QLatin1Char('/') + m_keys.errorProject);
    return url.toString();
}

QHttpServerResponse Collector::handleBatch(const QHttpServerRequest &request)
{
    const QByteArray expected = "Basic " + (m_keys.analyticsWriteKey + QLatin1Char(':')).toUtf8().toBase64();
    if (headerValue(request, "Authorization") != expected)
        return refuse(401, QStringLiteral("batch without the write key"));
    const std::optional<nlohmann::json> body = jsonObjectBody(request);
    if (!body)
        return refuse(400, QStringLiteral("batch body is not a JSON object"));
    if (!body->contains("batch") || !body->at("batch").is_array())
        return refuse(400, QStringLiteral("batch without a \"batch\" array"));
    for (const nlohmann::json &message : body->at("batch")) {
        if (!message.is_object() || !message.contains("type"))
            return refuse(400, QStringLiteral("batch message without a type"));
        // As the hosted service does: one message over the limit refuses the whole batch.
        if (qsizetype(message.dump().size()) > kMaxMessageBytes)
            return refuse(400, QStringLiteral("batch message over %1 bytes").arg(kMaxMessageBytes));
    }
    m_batches.append(*body);
    Q_EMIT batchReceived();
    return jsonResponse(Json{{"success", true}});
}

QHttpServerResponse Collector::handleEnvelope(const QHttpServerRequest &request)
{
    QString key = sentryKeyFromHeader(headerValue(request, "X-Sentry-Auth"));
    if (key.isEmpty())
        key = request.query().queryItemValue(QStringLiteral("sentry_key"));
    if (key != m_keys.errorPublicKey)
        return refuse(401, QStringLiteral("envelope without the project's key"));
    Envelope envelope;
    try {
        envelope = parseEnvelope(request.body());
    } catch (const std::exception &error) {
        return refuse(400, QStringLiteral("malformed envelope: %1").arg(QString::fromUtf8(error.what())));
    }
    const std::string id = envelope.header.value("event_id", std::string());
    m_envelopes.append(std::move(envelope));
    Q_EMIT envelopeReceived();
    return jsonResponse(Json{{"id", id}});
}

QList<nlohmann::json> Collector::batchMessages() const
{
    QList<nlohmann::json> messages;
    for (const nlohmann::json &batch : m_batches) {
        for (const nlohmann::json &message : batch.at("batch"))
            messages.append(message);
    }
    return messages;
}

QList<nlohmann::json> Collector::errorEvents() const
{
    QList<nlohmann::json> events;
    for (const Envelope &envelope : m_envelopes) {
        for (const EnvelopeItem &item : envelope.items) {
            if (item.header.value("type", "") == "event")
                events.append(nlohmann::json::parse(item.payload.begin(), item.payload.end()));
        }
    }
    return events;
}

void Collector::clear()
{
    m_batches.clear();
    m_envelopes.clear();
}

} // namespace brelta::devserver
