#include "backend/client/ApiErrors.h"

#include "backend/client/BackendHosts.h"

namespace brelta::backend {

const char *apiClientErrorName(ApiClientError error)
{
    switch (error) {
    case ApiClientError::BadConnection:
        return "badConnection";
    case ApiClientError::SignUpEmailExists:
        return "signUpEmailExists";
    case ApiClientError::SignInWrongCredentials:
        return "signInWrongCredentials";
    case ApiClientError::SomethingWentWrong:
        return "somethingWentWrong";
    }
    return "unknown";
}

ApiClientException::ApiClientException(ApiClientError error)
    : std::runtime_error(apiClientErrorName(error))
    , m_error(error)
{}

namespace {

std::string describeFailure(const QUrl &url, const QString &transportErrorText, std::optional<int> status)
{
    // The URL without its query: a query could carry something personal.
    const QString where = url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo);
    if (status)
        return QStringLiteral("%1 answered with status %2").arg(where).arg(*status).toStdString();
    return QStringLiteral("%1 failed: %2").arg(where, transportErrorText).toStdString();
}

} // namespace

HttpFailure::HttpFailure(QUrl url, QNetworkReply::NetworkError transportError, const QString &transportErrorText,
                         std::optional<int> status, QByteArray body, std::exception_ptr cause)
    : std::runtime_error(describeFailure(url, transportErrorText, status))
    , m_url(std::move(url))
    , m_transportError(transportError)
    , m_status(status)
    , m_body(std::move(body))
    , m_cause(std::move(cause))
{}

HttpFailure HttpFailure::withCause(std::exception_ptr cause) const
{
    HttpFailure copy(*this);
    copy.m_cause = std::move(cause);
    return copy;
}

bool isConnectionError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // how a transfer timeout ends a request
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

std::exception_ptr mapFailure(std::exception_ptr failure, const std::optional<QUrl> &sentUrl,
                              const BackendEndpoints &endpoints)
{
    try {
        std::rethrow_exception(failure);
    } catch (const HttpFailure &http) {
        if (isConnectionError(http.transportError()))
            return std::make_exception_ptr(ApiClientException(ApiClientError::BadConnection));
        if (!sentUrl || !http.isRefusedStatus())
            return failure;
        const QString url = sentUrl->toString(QUrl::FullyEncoded);
        const int status = *http.status();
        if (status == 409 && endpoints.isSignUpRequest(*sentUrl))
            return std::make_exception_ptr(ApiClientException(ApiClientError::SignUpEmailExists));
        if (status >= 400 && status <= 499 && url.contains(QLatin1String("/authn/password?realm=tarvelo")))
            return std::make_exception_ptr(ApiClientException(ApiClientError::SignInWrongCredentials));
        return failure;
    } catch (...) {
        return failure;
    }
}

} // namespace brelta::backend
