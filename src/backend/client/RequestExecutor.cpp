#include "backend/client/RequestExecutor.h"

#include "backend/client/ApiErrors.h"
#include "platform/AppError.h"

#include <QCoroNetworkReply>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>

Q_LOGGING_CATEGORY(lcRequests, "brelta.backend.RequestExecutor")

namespace brelta::backend {

RequestExecutor::RequestExecutor(QNetworkAccessManager *network, std::chrono::milliseconds transferTimeout)
    : m_network(network)
    , m_transferTimeout(transferTimeout)
{}

QCoro::Task<QByteArray> RequestExecutor::execute(OutgoingRequest outgoing,
                                                 std::shared_ptr<OAuthRequestInterceptor> interceptor)
{
    // Copies for after the awaits: the client owning this executor and its network manager may be gone.
    const QPointer<QNetworkAccessManager> network = m_network;
    const std::chrono::milliseconds transferTimeout = m_transferTimeout;
    const QUrl url = outgoing.request.url();
    for (int repeatCount = 0;; ++repeatCount) {
        if (!network)
            throw platform::AppError(platform::AppError::Kind::General, QStringLiteral("the backend client closed"));
        QNetworkRequest request = outgoing.request;
        const QString sentToken = interceptor->authorize(request);
        request.setTransferTimeout(int(transferTimeout.count()));

        // The network manager deletes its replies when it goes: this frame only lets go of a living one.
        const QPointer<QNetworkReply> reply = outgoing.send(*network, request);
        const auto release = qScopeGuard([&reply] {
            if (reply)
                reply->deleteLater();
        });
        auto watched = qCoro(reply.data());
        QCoro::Task<bool> finished = watched.waitForFinished();
        co_await std::move(finished);
        if (!reply)
            throw platform::AppError(platform::AppError::Kind::General, QStringLiteral("the backend client closed"));

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

        QCoro::Task<RefreshOutcome> refreshing = interceptor->delegate()->refreshTokens(interceptor);
        const RefreshOutcome outcome = co_await std::move(refreshing);
        if (!outcome.repeat)
            throw failure.withCause(outcome.error);
    }
}

} // namespace brelta::backend
