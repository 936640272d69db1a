#pragma once

#include "backend/client/BackendHosts.h"

#include <QCoroTask>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace brelta::backend {

class OAuthRequestInterceptor;

// What a token refresh asked for by a refused request comes to.
struct RefreshOutcome
{
    bool repeat = false;      // new tokens are in the interceptor: send the request again
    std::exception_ptr error; // why not, when not
};

// Obtains new tokens for an interceptor whose access token was refused. The backend client.
class OAuthRequestInterceptorDelegate : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QCoro::Task<RefreshOutcome> refreshTokens(std::shared_ptr<OAuthRequestInterceptor> interceptor) = 0;
};

// Adds the bearer token to requests bound for the backend and decides whether a refused request is worth
// a token refresh. Lives on the main thread, like every request.
class OAuthRequestInterceptor
{
public:
    OAuthRequestInterceptor(BackendEndpoints endpoints, OAuthRequestInterceptorDelegate *delegate, int maxRetries,
                            QString accessToken, QString refreshToken);

    // False for the authentication server and the sign-up request, which never carry the bearer token.
    bool needsAuthorization(const QUrl &url) const;

    // Sets "Authorization: Bearer <token>" when there is a token, a delegate and the URL needs it.
    // Returns the token that was set (empty when none), so a refused request can tell whether the
    // tokens changed while it was under way.
    QString authorize(QNetworkRequest &request) const;

    // Whether a failed attempt should wait for a token refresh and be repeated: a delegate is there,
    // the status is 401, there is a refresh token, the URL needs authorisation, and the request has been
    // repeated fewer than maxRetries times.
    bool shouldRefresh(const QUrl &url, std::optional<int> status, int repeatCount) const;

    const QString &accessToken() const { return m_accessToken; }
    const QString &refreshToken() const { return m_refreshToken; }
    int maxRetries() const { return m_maxRetries; }
    OAuthRequestInterceptorDelegate *delegate() const { return m_delegate; }
    bool isRevoked() const { return m_revoked; }

    void setTokens(const QString &accessToken, const QString &refreshToken);
    // The backend refused the refresh token: it will not be offered again.
    void forgetRefreshToken() { m_refreshToken.clear(); }
    // The session this interceptor belonged to is over: no token, no refresh, for good.
    void revoke();

private:
    BackendEndpoints m_endpoints;
    QPointer<OAuthRequestInterceptorDelegate> m_delegate;
    int m_maxRetries;
    QString m_accessToken;
    QString m_refreshToken;
    bool m_revoked = false;
};

} // namespace brelta::backend
