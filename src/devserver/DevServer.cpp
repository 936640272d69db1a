#include "devserver/DevServer.h"

#include "devserver/BodyLimit.h"

#include <QHttpServerRouterRule>

namespace brelta::devserver {
namespace {

// Placed before every route: its match test sees each request first. It takes a request only when a
// test control applies, and leaves all others to the routes after it.
class FrontDoorRule : public QHttpServerRouterRule
{
public:
    using Gate = std::function<bool(const QHttpServerRequest &)>;

    FrontDoorRule(Gate gate, RouterHandler handler)
        : QHttpServerRouterRule(QStringLiteral("/"), std::move(handler))
        , m_gate(std::move(gate))
    {}

protected:
    bool matches(const QHttpServerRequest &request, QRegularExpressionMatch *) const override
    {
        return m_gate(request);
    }

private:
    Gate m_gate;
};

// Only an excerpt of the body is kept: the log lives as long as the server.
ReceivedRequest record(const QHttpServerRequest &request, qsizetype bodyBytes)
{
    const QByteArray body = request.body();
    return ReceivedRequest{methodName(request.method()),
                           request.url().path(),
                           request.query(),
                           request.headers(),
                           body.size() > bodyBytes ? body.first(bodyBytes) : body,
                           body.size()};
}

} // namespace

QByteArray ReceivedRequest::header(QByteArrayView name) const
{
    return findHeader(headers, name);
}

bool ReceivedRequest::hasHeader(QByteArrayView name) const
{
    return std::any_of(headers.cbegin(), headers.cend(),
                       [&](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

nlohmann::json ReceivedRequest::json() const
{
    return nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
}

CannedResponse CannedResponse::failure(int status)
{
    const Json body{{"error", "failure set by the test"}};
    return CannedResponse{
        status, QByteArrayLiteral("application/json"), QByteArray::fromStdString(body.dump()), {}, false};
}

CannedResponse CannedResponse::droppedConnection()
{
    CannedResponse dropped;
    dropped.dropConnection = true;
    return dropped;
}

DevServer::DevServer(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_temporaryUploads(m_options.uploadDirectory.isEmpty() ? std::make_unique<QTemporaryDir>() : nullptr)
    , m_uploads(m_auth, m_temporaryUploads ? m_temporaryUploads->path() : m_options.uploadDirectory)
{
    qRegisterMetaType<ReceivedRequest>();
    m_seededUser = *m_accounts.addUser(m_options.seededEmail, m_options.seededPassword);
    m_google.setDemoDayOnFirstAuthorization(m_options.demoCalendarDay);
    m_uploads.setAcceptedHandler([this](const User &user, const QString &startTime, qint64 seconds) {
        m_messaging.queueMeetingReport(user.email, startTime, seconds, baseUrl().resolved(QUrl("/coach/sessions")));
    });
    installRoutes();
}

DevServer::~DevServer()
{
    // Held responders refer to sockets the server owns.
    m_held.clear();
}

bool DevServer::listen(const QHostAddress &address, quint16 port)
{
    auto listener = std::make_unique<BodyLimitingServer>([this](const QString &path) { return bodyLimitFor(path); });
    if (!listener->listen(address, port)) {
        qCWarning(lcDevServer) << "cannot listen on" << address.toString() << "port" << port << ":"
                               << listener->errorString();
        return false;
    }
    m_port = listener->serverPort();
    m_http.bind(listener.release()); // the HTTP server owns it from here
    m_address = address;
    return true;
}

qint64 DevServer::bodyLimitFor(const QString &path) const
{
    if (path == UploadService::path)
        return UploadService::kMaxBodyBytes;
    if (path == Collector::batchPath())
        return Collector::kMaxBatchBytes;
    return m_options.maxBodyBytes;
}

QUrl DevServer::baseUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    const bool anyAddress = m_address == QHostAddress(QHostAddress::Any)
                            || m_address == QHostAddress(QHostAddress::AnyIPv4)
                            || m_address == QHostAddress(QHostAddress::AnyIPv6) || m_address.isNull();
    url.setHost(anyAddress ? QStringLiteral("127.0.0.1") : m_address.toString());
    url.setPort(m_port);
    return url;
}

void DevServer::installRoutes()
{
    m_http.route<FrontDoorRule>([this](const QHttpServerRequest &request) { return admit(request); },
                                [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                                    applyControl(request, std::move(responder));
                                });

    RouteTable routes(m_http);
    m_auth.install(routes);
    m_gateway.install(routes);
    m_messaging.install(routes);
    m_uploads.install(routes);
    m_coachPages.install(routes);
    m_google.install(routes);
    m_collector.install(m_http);
    // Further route groups install here, on m_http, behind the front door.

    m_http.setMissingHandler([](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        errorResponse(404, QStringLiteral("no endpoint %1").arg(request.url().path())).write(std::move(responder));
    });
}

bool DevServer::admit(const QHttpServerRequest &request)
{
    m_received.append(record(request, m_options.requestLogBodyBytes));
    while (m_options.requestLogLimit > 0 && m_received.size() > m_options.requestLogLimit)
        m_received.removeFirst();
    Q_EMIT requestReceived(m_received.constLast());

    const QString path = request.url().path();
    return m_hanging.contains(path) || m_responses.contains(path);
}

void DevServer::applyControl(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    const QString path = request.url().path();
    if (m_hanging.contains(path)) {
        hold(std::move(responder));
        return;
    }
    const auto control = m_responses.find(path);
    if (control == m_responses.end())
        return; // cannot happen: admit() let only controlled paths through
    const CannedResponse response = control->response;
    if (control->remaining > 0 && --control->remaining == 0)
        m_responses.erase(control);
    answer(response, std::move(responder));
}

void DevServer::answer(const CannedResponse &response, QHttpServerResponder &&responder)
{
    if (response.dropConnection) {
        // The server deletes the socket once it is disconnected; the responder goes unused.
        responder.socket()->abort();
        return;
    }
    QHttpServerResponse reply(response.contentType, response.body,
                              static_cast<QHttpServerResponse::StatusCode>(response.status));
    for (const auto &[name, value] : response.headers)
        reply.addHeader(name, value);
    reply.write(std::move(responder));
}

void DevServer::hold(QHttpServerResponder &&responder)
{
    QTcpSocket *socket = responder.socket();
    m_held.push_back(HeldRequest{socket, std::make_unique<QHttpServerResponder>(std::move(responder))});
    // The client giving up closes the connection; its responder must go before the socket does.
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        std::erase_if(m_held, [socket](const HeldRequest &held) { return held.socket == socket || !held.socket; });
    });
}

void DevServer::releaseHeld(const CannedResponse &response)
{
    std::vector<HeldRequest> held = std::move(m_held);
    m_held.clear();
    for (HeldRequest &request : held) {
        if (request.socket)
            answer(response, std::move(*request.responder));
    }
}

void DevServer::respondNext(const QString &path, const CannedResponse &response, int count)
{
    if (count > 0)
        m_responses.insert(path, ResponseControl{response, count});
}

void DevServer::setResponse(const QString &path, const CannedResponse &response)
{
    m_responses.insert(path, ResponseControl{response, -1});
}

void DevServer::setHang(const QString &path, bool hang)
{
    if (hang)
        m_hanging.insert(path);
    else
        m_hanging.remove(path);
}

QList<ReceivedRequest> DevServer::receivedRequests(const QString &path) const
{
    QList<ReceivedRequest> matching;
    for (const ReceivedRequest &request : m_received) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

} // namespace brelta::devserver
