#include "backend/client/RequestExecutor.h"

#include "backend/client/ApiErrors.h"

#include <QCoroNetworkReply>
#include <QLoggingCategory>
#include <QNetworkReply>

Q_LOGGING_CATEGORY(lcRequests, "brelta.backend.RequestExecutor")

namespace brelta::backend {
namespace {

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

} // namespace

RequestExecutor::RequestExecutor(QNetworkAccessManager *network, std::chrono::milliseconds transferTimeout)
    : m_network(network)
    , m_transferTimeout(transferTimeout)
{}

QCoro::Task<QByteArray> RequestExecutor::execute(OutgoingRequest outgoing,
                                                 std::shared_ptr<OAuthRequestInterceptor> interceptor)
{
    const QUrl url = outgoing.request.url();
    for (int repeatCount = 0;; ++repeatCount) {
        QNetworkRequest request = outgoing.request;
        const QString sentToken = interceptor->authorize(request);
        request.setTransferTimeout(int(m_transferTimeout.count()));

        std::unique_ptr<QNetworkReply, DeleteLater> reply(outgoing.send(*m_network, request));
        co_await qCoro(reply.get()).waitForFinished();

        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const std::optional<int> status =
            statusAttribute.isValid() ? std::optional(statusAttribute.toInt()) : std::nullopt;
        QByteArray body = reply->readAll();
        if (reply->error() == QNetworkReply::NoError && status && *status >= 200 && *status <= 299)
            co_return body;

        const HttpFailure failure(url, reply->error(), reply->errorString(), status, std::move(body));
        qCInfo(lcRequests).noquote() << failure.what();
        if (!interceptor->shouldRefresh(url, status, repeatCount))
            throw failure;

        // Another refused request may have refreshed the tokens while this one was under way.
        if (!interceptor->accessToken().isEmpty() && interceptor->accessToken() != sentToken)
            continue;

        const RefreshOutcome outcome = co_await interceptor->delegate()->refreshTokens(interceptor);
        if (!outcome.repeat)
            throw failure.withCause(outcome.error);
    }
}

} // namespace brelta::backend
