#include "backend/client/OAuthRequestInterceptor.h"

namespace brelta::backend {

OAuthRequestInterceptor::OAuthRequestInterceptor(BackendEndpoints endpoints, OAuthRequestInterceptorDelegate *delegate,
                                                 int maxRetries, QString accessToken, QString refreshToken)
    : m_endpoints(std::move(endpoints))
    , m_delegate(delegate)
    , m_maxRetries(maxRetries)
    , m_accessToken(std::move(accessToken))
    , m_refreshToken(std::move(refreshToken))
{}

bool OAuthRequestInterceptor::needsAuthorization(const QUrl &url) const
{
    if (url.isEmpty())
        return false;
    return !m_endpoints.isAuthenticationRequest(url) && !m_endpoints.isSignUpRequest(url);
}

QString OAuthRequestInterceptor::authorize(QNetworkRequest &request) const
{
    if (m_accessToken.isEmpty() || !m_delegate || !needsAuthorization(request.url()))
        return {};
    request.setRawHeader("Authorization", "Bearer " + m_accessToken.toUtf8());
    return m_accessToken;
}

bool OAuthRequestInterceptor::shouldRefresh(const QUrl &url, std::optional<int> status, int repeatCount) const
{
    return m_delegate && !url.isEmpty() && status == 401 && !m_refreshToken.isEmpty() && needsAuthorization(url)
           && repeatCount < m_maxRetries;
}

void OAuthRequestInterceptor::setTokens(const QString &accessToken, const QString &refreshToken)
{
    if (m_revoked)
        return;
    m_accessToken = accessToken;
    m_refreshToken = refreshToken;
}

void OAuthRequestInterceptor::revoke()
{
    m_revoked = true;
    m_delegate = nullptr;
    m_accessToken.clear();
    m_refreshToken.clear();
}

} // namespace brelta::backend
