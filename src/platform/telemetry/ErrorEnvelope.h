#pragma once

// The error-ingest wire format: the client-key URL (DSN) and the envelope that carries one event.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>

namespace brelta::platform {

// "https://<public key>@<host>[:port][/path]/<project id>".
struct Dsn
{
    QString publicKey;
    QString projectId;
    QUrl envelopeUrl; // <scheme>://<host>[:port][/path]/api/<project id>/envelope/

    // Nothing for an empty or malformed text (the caller logs which).
    static std::optional<Dsn> parse(const QString &text);

    // The value of the X-Sentry-Auth header.
    QByteArray authHeader(const QString &clientName) const;
};

// The wait an X-Sentry-Rate-Limits header value ("60:error;transaction:organization, 2700::key", …)
// puts on error events: the longest wait among its entries whose categories name "error" or are empty
// (every category); at most kLongestCollectorWait; nothing when no entry applies.
std::optional<std::chrono::seconds> errorRateLimit(const QByteArray &header);

// A fresh event id: 32 lower-case hex digits.
QString newEventId();

// One envelope holding one event; the event's "event_id" goes into the envelope header.
QByteArray envelopeForEvent(const nlohmann::ordered_json &event, const QString &dsnText);

// The event a payload-carrying envelope was built for (the first "event" item), for logging.
std::optional<nlohmann::json> eventInEnvelope(const QByteArray &envelope);

} // namespace brelta::platform
