#include "backend/client/BackendHosts.h"

#include "backend/Hosts.h"

#include <QHostAddress>

namespace brelta::backend {
namespace {

const QString kMessagingService = QStringLiteral("/v0/rpc/com.brelta.tarvelo.user_messaging.v1.UserMessageProvider/");

QUrl endpoint(const BackendHosts &hosts, const QString &host, const QString &pathAndQuery)
{
    return QUrl(hosts.scheme + QStringLiteral("://") + host + pathAndQuery, QUrl::StrictMode);
}

bool isLoopback(const QString &hostAndPort)
{
    const QUrl url(QStringLiteral("http://") + hostAndPort);
    const QString host = url.host();
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(a.scheme() == QLatin1String("https") ? 443 : 80)
                  == b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

} // namespace

BackendHosts BackendHosts::compiledIn()
{
    return {QString::fromLatin1(hosts::kScheme), QString::fromLatin1(hosts::kAuthentication),
            QString::fromLatin1(hosts::kRestGateway), QString::fromLatin1(hosts::kMessaging),
            QString::fromLatin1(hosts::kUpload)};
}

BackendHosts BackendHosts::loopback(quint16 port)
{
    const QString host = QStringLiteral("127.0.0.1:%1").arg(port);
    return {QStringLiteral("http"), host, host, host, host};
}

QString BackendHosts::validationError() const
{
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return QStringLiteral("unknown scheme \"%1\"").arg(scheme);
    const std::pair<const char *, const QString *> roles[] = {{"authentication", &authentication},
                                                              {"REST gateway", &restGateway},
                                                              {"messaging", &messaging},
                                                              {"upload", &upload}};
    for (const auto &[role, host] : roles) {
        if (host->isEmpty())
            return QStringLiteral("no %1 host was configured").arg(QLatin1String(role));
        if (!QUrl(scheme + QStringLiteral("://") + *host, QUrl::StrictMode).isValid())
            return QStringLiteral("the %1 host \"%2\" is not a host").arg(QLatin1String(role), *host);
        if (scheme == QLatin1String("http") && !isLoopback(*host))
            return QStringLiteral("plain http to the %1 host \"%2\", which is not loopback")
                .arg(QLatin1String(role), *host);
    }
    return {};
}

BackendEndpoints::BackendEndpoints(const BackendHosts &hosts)
    : authenticationBase(endpoint(hosts, hosts.authentication, {}))
    , passwordSignIn(endpoint(hosts, hosts.authentication, QStringLiteral("/authn/password?realm=tarvelo")))
    , token(endpoint(hosts, hosts.authentication, QStringLiteral("/token")))
    , signUp(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v2/SignUp")))
    , getUserInfo(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v2/GetUserInfo")))
    , generateCoachingTips(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v2/GenerateCoachingTips")))
    , preferences(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v0/my-preferences")))
    , preferenceGoals(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v0/my-preferences/goals")))
    , preferenceLanguage(endpoint(hosts, hosts.restGateway, QStringLiteral("/quombler/v0/my-preferences/language")))
    , listActiveUserMessages(
          endpoint(hosts, hosts.messaging, kMessagingService + QStringLiteral("ListActiveUserMessages")))
    , getUserMessage(endpoint(hosts, hosts.messaging, kMessagingService + QStringLiteral("GetUserMessage")))
    , reportUserMessageInteraction(
          endpoint(hosts, hosts.messaging, kMessagingService + QStringLiteral("ReportUserMessageInteraction")))
    , upload(endpoint(hosts, hosts.upload, QStringLiteral("/upload")))
{}

bool BackendEndpoints::isAuthenticationRequest(const QUrl &url) const
{
    if (!sameOrigin(url, authenticationBase))
        return false;
    const bool originShared = sameOrigin(authenticationBase, signUp)
                              || sameOrigin(authenticationBase, listActiveUserMessages)
                              || sameOrigin(authenticationBase, upload);
    if (!originShared)
        return true;
    const QString path = url.path();
    return path == token.path() || path.startsWith(QLatin1String("/authn/"));
}

bool BackendEndpoints::isSignUpRequest(const QUrl &url) const
{
    return sameOrigin(url, signUp) && url.path() == signUp.path();
}

} // namespace brelta::backend
