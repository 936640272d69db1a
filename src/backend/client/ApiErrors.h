#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>
#include <stdexcept>

namespace brelta::backend {

struct BackendEndpoints;

// The failures callers tell apart; anything else reaches them as the HTTP failure itself.
enum class ApiClientError {
    BadConnection,          // no connection, a dropped one, or no answer in time
    SignUpEmailExists,      // the sign-up was refused with 409
    SignInWrongCredentials, // the password sign-in was refused with a 4xx status
    SomethingWentWrong,     // never thrown by the client; for callers that need a catch-all value
};

const char *apiClientErrorName(ApiClientError error);

class ApiClientException : public std::runtime_error
{
public:
    explicit ApiClientException(ApiClientError error);

    ApiClientError error() const { return m_error; }

private:
    ApiClientError m_error;
};

// A request that did not succeed: the transport failed, or a response came with a status outside
// 200 to 299. When a refused token could not be refreshed, `cause()` holds why.
class HttpFailure : public std::runtime_error
{
public:
    HttpFailure(QUrl url, QNetworkReply::NetworkError transportError, const QString &transportErrorText,
                std::optional<int> status, QByteArray body, std::exception_ptr cause = {});

    const QUrl &url() const { return m_url; }
    QNetworkReply::NetworkError transportError() const { return m_transportError; }
    // The response's status when there was a response.
    std::optional<int> status() const { return m_status; }
    // A response arrived and refused the request.
    bool isRefusedStatus() const { return m_status && (*m_status < 200 || *m_status > 299); }
    const QByteArray &body() const { return m_body; }
    std::exception_ptr cause() const { return m_cause; }

    HttpFailure withCause(std::exception_ptr cause) const;

private:
    QUrl m_url;
    QNetworkReply::NetworkError m_transportError;
    std::optional<int> m_status;
    QByteArray m_body;
    std::exception_ptr m_cause;
};

// Transport errors that mean "no usable connection": timed out, host not found, cannot connect,
// connection lost, no network, and their proxy equivalents.
bool isConnectionError(QNetworkReply::NetworkError error);

// What a caller receives for a failed request, given the URL that was sent (absent for the upload): the
// first rule that applies of
//   connection error -> BadConnection; sign-up refused 409 -> SignUpEmailExists;
//   password sign-in refused 400..499 -> SignInWrongCredentials; otherwise the failure unchanged.
std::exception_ptr mapFailure(std::exception_ptr failure, const std::optional<QUrl> &sentUrl,
                              const BackendEndpoints &endpoints);

} // namespace brelta::backend
