#pragma once

#include "backend/client/OAuthRequestInterceptor.h"

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <chrono>
#include <functional>
#include <memory>

namespace brelta::backend {

// One request as the client sends it, possibly more than once: the request without the bearer token, and
// how to put it on the wire (GET, POST with a body, a multipart form built afresh for every attempt).
struct OutgoingRequest
{
    using Sender = std::function<QNetworkReply *(QNetworkAccessManager &, const QNetworkRequest &)>;

    QNetworkRequest request;
    Sender send;
};

// Sends requests through an interceptor: adds the bearer token, bounds every attempt by a transfer
// timeout, and repeats an attempt refused with 401 once the interceptor's delegate has refreshed the
// tokens. Runs on the main thread.
class RequestExecutor
{
public:
    RequestExecutor(QNetworkAccessManager *network, std::chrono::milliseconds transferTimeout);

    // The body of a response with a status from 200 to 299. Otherwise throws HttpFailure (with the cause
    // of a refresh that did not work out, when one was tried).
    QCoro::Task<QByteArray> execute(OutgoingRequest outgoing, std::shared_ptr<OAuthRequestInterceptor> interceptor);

    std::chrono::milliseconds transferTimeout() const { return m_transferTimeout; }

private:
    QNetworkAccessManager *m_network;
    std::chrono::milliseconds m_transferTimeout;
};

} // namespace brelta::backend
