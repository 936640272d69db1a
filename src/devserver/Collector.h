#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <nlohmann/json.hpp>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;

namespace brelta::devserver {

// The local stand-in for the analytics and error-tracking services: the batch-tracking endpoint
// (POST /v1/batch, the write key as basic-auth user) and the error-ingest envelope endpoint
// (POST /api/<project>/envelope/, the DSN's public key in X-Sentry-Auth or the query). It keeps what
// it accepted so tests and `scripts/run` can look at it.
class Collector : public QObject
{
    Q_OBJECT

public:
    struct Keys
    {
        QString analyticsWriteKey = QStringLiteral("devWriteKey0000000000000000000000");
        QString errorPublicKey = QStringLiteral("devpublickey");
        QString errorProject = QStringLiteral("1");
    };

    // One item of an envelope: its header line and its payload bytes.
    struct EnvelopeItem
    {
        nlohmann::json header;
        QByteArray payload;
    };

    struct Envelope
    {
        nlohmann::json header;
        QList<EnvelopeItem> items;
    };

    explicit Collector(QObject *parent = nullptr);
    Collector(Keys keys, QObject *parent = nullptr);

    void install(QHttpServer &server);

    // The hosted batch-tracking service's limits, which this collector keeps too: a batch request body
    // over kMaxBatchBytes is refused before it is read, a batch holding one message over kMaxMessageBytes
    // (as compact JSON) is refused whole.
    static constexpr qsizetype kMaxBatchBytes = 500 * 1024;
    static constexpr qsizetype kMaxMessageBytes = 32 * 1024;

    const Keys &keys() const { return m_keys; }
    static QString batchPath() { return QStringLiteral("/v1/batch"); }
    QString envelopePath() const;

    // The DSN a client configures to reach this collector on the server at `baseUrl`.
    QString errorDsn(const QUrl &baseUrl) const;

    // Every accepted batch request body, in arrival order.
    const QList<nlohmann::json> &batches() const { return m_batches; }
    // The messages of every accepted batch, flattened in arrival order.
    QList<nlohmann::json> batchMessages() const;
    const QList<Envelope> &envelopes() const { return m_envelopes; }
    // The payloads of every "event" item of every accepted envelope.
    QList<nlohmann::json> errorEvents() const;

    void clear();

Q_SIGNALS:
    void batchReceived();
    void envelopeReceived();

private:
    QHttpServerResponse handleBatch(const QHttpServerRequest &request);
    QHttpServerResponse handleEnvelope(const QHttpServerRequest &request);

    Keys m_keys;
    QList<nlohmann::json> m_batches;
    QList<Envelope> m_envelopes;
};

} // namespace brelta::devserver
