#include "devserver/Collector.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QLoggingCategory>
#include <QUrl>
#include <QUrlQuery>

#include <stdexcept>

namespace brelta::devserver {
namespace {

Q_LOGGING_CATEGORY(lcCollector, "brelta.devserver.collector")

using StatusCode = QHttpServerResponder::StatusCode;

QByteArray header(const QHttpServerRequest &request, QByteArrayView name)
{
    for (const auto &[key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QHttpServerResponse jsonResponse(const nlohmann::json &body, StatusCode status)
{
    return QHttpServerResponse(QByteArrayLiteral("application/json"), QByteArray::fromStdString(body.dump()),
                               status);
}

QHttpServerResponse errorResponse(StatusCode status, const QString &message)
{
    qCWarning(lcCollector).noquote() << "refused:" << message;
    return jsonResponse({{"error", message.toStdString()}}, status);
}

nlohmann::json parseObject(QByteArrayView text)
{
    nlohmann::json value = nlohmann::json::parse(text.begin(), text.end());
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
Collector::Envelope parseEnvelope(const QByteArray &body)
{
    Collector::Envelope envelope;
    qsizetype position = body.indexOf('\n');
    if (position < 0)
        position = body.size();
    envelope.header = parseObject(QByteArrayView(body).first(position));
    ++position;
    while (position < body.size()) {
        qsizetype lineEnd = body.indexOf('\n', position);
        if (lineEnd < 0)
            lineEnd = body.size();
        if (lineEnd == position) { // trailing newline
            ++position;
            continue;
        }
        Collector::EnvelopeItem item;
        item.header = parseObject(QByteArrayView(body).sliced(position, lineEnd - position));
        position = lineEnd + 1;
        if (item.header.contains("length")) {
            const auto length = item.header.at("length").get<qsizetype>();
            if (length < 0 || position + length > body.size())
                throw std::invalid_argument("item length runs past the end of the envelope");
            item.payload = body.sliced(position, length);
            position += length + 1;
        } else {
            qsizetype payloadEnd = body.indexOf('\n', position);
            if (payloadEnd < 0)
                payloadEnd = body.size();
            item.payload = body.sliced(position, payloadEnd - position);
            position = payloadEnd + 1;
        }
        if (item.header.value("type", "") == "event")
            parseObject(item.payload); // kept items must read back as events
        envelope.items.append(std::move(item));
    }
    return envelope;
}

} // namespace

Collector::Collector(QObject *parent) : Collector(Keys{}, parent) {}

Collector::Collector(Keys keys, QObject *parent) : QObject(parent), m_keys(std::move(keys)) {}

void Collector::install(QHttpServer &server)
{
    server.route(QStringLiteral("/v1/batch"), QHttpServerRequest::Method::Post,
                 [this](const QHttpServerRequest &request) { return handleBatch(request); });
    server.route(QStringLiteral("/api/<arg>/envelope/"), QHttpServerRequest::Method::Post,
                 [this](const QString &project, const QHttpServerRequest &request) {
                     return handleEnvelope(project, request);
                 });
}

QString Collector::errorDsn(const QString &baseUrl) const
{
    QUrl url(baseUrl);
    url.setUserName(m_keys.errorPublicKey);
    url.setPath(QLatin1Char('/') + m_keys.errorProject);
    return url.toString();
}

QHttpServerResponse Collector::handleBatch(const QHttpServerRequest &request)
{
    if (m_outageStatus)
        return QHttpServerResponse(StatusCode(*m_outageStatus));
    const QByteArray expected = "Basic " + (m_keys.analyticsWriteKey + QLatin1Char(':')).toUtf8().toBase64();
    if (header(request, "Authorization") != expected)
        return errorResponse(StatusCode::Unauthorized, QStringLiteral("batch without the write key"));
    nlohmann::json body;
    try {
        body = parseObject(request.body());
    } catch (const std::exception &error) {
        return errorResponse(StatusCode::BadRequest, QStringLiteral("batch is not JSON: %1").arg(error.what()));
    }
    if (!body.contains("batch") || !body.at("batch").is_array())
        return errorResponse(StatusCode::BadRequest, QStringLiteral("batch without a \"batch\" array"));
    qCDebug(lcCollector) << "batch of" << body.at("batch").size() << "messages";
    m_batches.append(std::move(body));
    Q_EMIT batchReceived();
    return jsonResponse({{"success", true}}, StatusCode::Ok);
}

QHttpServerResponse Collector::handleEnvelope(const QString &project, const QHttpServerRequest &request)
{
    if (m_outageStatus)
        return QHttpServerResponse(StatusCode(*m_outageStatus));
    if (project != m_keys.errorProject)
        return errorResponse(StatusCode::NotFound, QStringLiteral("unknown project %1").arg(project));
    QString key = sentryKeyFromHeader(header(request, "X-Sentry-Auth"));
    if (key.isEmpty())
        key = request.query().queryItemValue(QStringLiteral("sentry_key"));
    if (key != m_keys.errorPublicKey)
        return errorResponse(StatusCode::Unauthorized, QStringLiteral("envelope without the project's key"));
    Envelope envelope;
    try {
        envelope = parseEnvelope(request.body());
    } catch (const std::exception &error) {
        return errorResponse(StatusCode::BadRequest, QStringLiteral("malformed envelope: %1").arg(error.what()));
    }
    const nlohmann::json id = envelope.header.value("event_id", nlohmann::json());
    qCDebug(lcCollector) << "envelope with" << envelope.items.size() << "items";
    m_envelopes.append(std::move(envelope));
    Q_EMIT envelopeReceived();
    return jsonResponse({{"id", id}}, StatusCode::Ok);
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
