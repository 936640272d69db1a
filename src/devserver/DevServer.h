#pragma once

#include "devserver/Accounts.h"
#include "devserver/AuthService.h"
#include "devserver/CoachPages.h"
#include "devserver/Collector.h"
#include "devserver/GatewayService.h"
#include "devserver/GoogleService.h"
#include "devserver/MessagingService.h"
#include "devserver/UploadService.h"

#include <QHash>
#include <QHostAddress>
#include <QHttpServer>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <memory>
#include <vector>

namespace brelta::devserver {

// One request as it reached the server, before any control or endpoint acted on it.
struct ReceivedRequest
{
    QByteArray method; // "GET", "POST", …
    QString path;
    QUrlQuery query;
    QList<QPair<QByteArray, QByteArray>> headers;
    // The body, or its first DevServerOptions::requestLogBodyBytes when it is longer.
    QByteArray body;
    qsizetype bodySize = 0; // of the whole body

    // By name, case-insensitively; empty when absent.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
    // The body as JSON; a discarded value when it is not JSON (a cut body is not).
    nlohmann::json json() const;
};

// What a controlled path gets instead of its endpoint's work.
struct CannedResponse
{
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("application/json");
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // besides the content type
    // Closes the connection without a word, as a crashed or cut-off backend would; the fields above are unused.
    bool dropConnection = false;

    // The status with {"error": …} naming the control, as the endpoints refuse.
    static CannedResponse failure(int status);
    static CannedResponse droppedConnection();
};

struct DevServerOptions
{
    QString uploadDirectory; // empty: a temporary folder removed with the server
    QString seededEmail = QStringLiteral("dev@brelta.test");
    QString seededPassword = QStringLiteral("brelta-dev-password");
    qsizetype requestLogLimit = 1000;          // the oldest records go first past this many
    qsizetype requestLogBodyBytes = 64 * 1024; // each record keeps at most this much of its body
    // The largest request body of a path without a limit of its own (the upload receiver and the
    // analytics collector have theirs). A longer one is refused before it is read.
    qint64 maxBodyBytes = 1024 * 1024;
    // The fake Google calendar fills with a demo day at the first consent (GoogleService::demoDay).
    bool demoCalendarDay = false;
};

// The local backend: the authentication server, the REST gateway, the messaging service and the upload
// receiver on one port, all state in memory. Tests start one in-process on port 0 and steer it with the
// controls below; `brelta-devserver` runs one for `scripts/run`.
//
// Every request first passes a front door that records it and applies the response and hang controls;
// then the route groups answer. Extra route groups (the analytics collector) keep a member here and
// install their routes on `m_http` in installRoutes(), after the front door, so their requests are
// recorded and obey the controls like all others.
class DevServer : public QObject
{
    Q_OBJECT

public:
    using Options = DevServerOptions;

    explicit DevServer(Options options = {}, QObject *parent = nullptr);
    ~DevServer() override;

    // Port 0 picks a free port. False when the address cannot be bound.
    bool listen(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    quint16 port() const { return m_port; }
    // "http://host:port", the base of every endpoint (all four roles share it).
    QUrl baseUrl() const;

    const User &seededUser() const { return m_seededUser; }
    QString uploadDirectory() const { return m_uploads.directory(); }

    // --- test controls -------------------------------------------------------------------------------

    // Lifetime of access tokens issued from now on (default one hour; 0 = expired at once).
    void setAccessTokenLifetime(std::chrono::seconds lifetime) { m_accounts.setAccessTokenLifetime(lifetime); }
    // A one-time code for the seeded user, as the web sign-in page would hand to the app.
    QString issueSignInCode() { return m_accounts.issueCode(m_seededUser); }
    void setEnabledFeatures(const QStringList &features) { m_gateway.setEnabledFeatures(features); }

    // Adds (or replaces by id) an active message record for `recipient` (an e-mail address; none: every
    // user); returns why it was refused, empty when queued. Every accepted upload also queues a meeting
    // report for its uploader.
    QString queueMessage(const Json &message, const std::optional<QString> &recipient = std::nullopt)
    {
        return m_messaging.queueMessage(message, recipient);
    }
    void clearMessages() { m_messaging.clearMessages(); }

    // Answers the next `count` requests to `path` (exact, no query) with `response` instead of serving them.
    // Qt Network sends a request once more, on a new connection, when its connection drops before any
    // answer: drop two (or use setResponse) for its client to see the failure.
    void respondNext(const QString &path, const CannedResponse &response, int count = 1);
    // Answers every request to `path` with `response` until clearResponse(); replaces what was set for it.
    void setResponse(const QString &path, const CannedResponse &response);
    void clearResponse(const QString &path) { m_responses.remove(path); }

    // Shorthands for a refusal with `status` and an error body.
    void failNext(const QString &path, int status, int count = 1)
    {
        respondNext(path, CannedResponse::failure(status), count);
    }
    void setFailure(const QString &path, int status) { setResponse(path, CannedResponse::failure(status)); }
    void clearFailure(const QString &path) { clearResponse(path); }
    // Leaves requests to `path` unanswered while on. A held request stays held until its client gives up
    // or the server is destroyed.
    void setHang(const QString &path, bool hang);
    int heldRequestCount() const { return int(m_held.size()); }
    // Answers every held request with `response`, as a slow endpoint finally would.
    void releaseHeld(const CannedResponse &response);

    QList<ReceivedRequest> receivedRequests() const { return m_received; }
    QList<ReceivedRequest> receivedRequests(const QString &path) const;
    void clearReceived() { m_received.clear(); }

    const QList<ReceivedUpload> &uploads() const { return m_uploads.uploads(); }

    // The analytics and error-ingest collector: what the telemetry clients sent.
    Collector &collector() { return m_collector; }
    // The fake Google sign-in and Calendar, with its own controls.
    GoogleService &google() { return m_google; }

Q_SIGNALS:
    void requestReceived(const brelta::devserver::ReceivedRequest &request);

private:
    struct ResponseControl
    {
        CannedResponse response;
        int remaining = -1; // -1: until cleared
    };

    struct HeldRequest
    {
        QPointer<QTcpSocket> socket;
        std::unique_ptr<QHttpServerResponder> responder;
    };

    void installRoutes();
    qint64 bodyLimitFor(const QString &path) const;
    // The front door: records the request; true when a control takes it instead of its endpoint.
    bool admit(const QHttpServerRequest &request);
    void applyControl(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    void hold(QHttpServerResponder &&responder);
    static void answer(const CannedResponse &response, QHttpServerResponder &&responder);

    Options m_options;
    std::unique_ptr<QTemporaryDir> m_temporaryUploads;
    QHttpServer m_http;
    QHostAddress m_address;
    quint16 m_port = 0;

    Accounts m_accounts;
    User m_seededUser;
    AuthService m_auth{m_accounts};
    GatewayService m_gateway{m_auth};
    MessagingService m_messaging{m_auth};
    UploadService m_uploads;
    CoachPages m_coachPages{m_accounts, m_seededUser};
    Collector m_collector;
    GoogleService m_google;

    QHash<QString, ResponseControl> m_responses;
    QSet<QString> m_hanging;
    QList<ReceivedRequest> m_received;
    std::vector<HeldRequest> m_held; // last: dropped before the server and its sockets go
};

} // namespace brelta::devserver

Q_DECLARE_METATYPE(brelta::devserver::ReceivedRequest)
