#include "backend/client/BackendHosts.h"
#include "backend/client/OAuthRequestInterceptor.h"
#include "backend/client/UserAgent.h"

#include <QTest>

using namespace brelta::backend;

namespace {

BackendHosts separateHosts()
{
    return {QStringLiteral("https"), QStringLiteral("auth.example.com"), QStringLiteral("api.example.com"),
            QStringLiteral("msg.example.com"), QStringLiteral("upload.example.com")};
}

// Stands in for the client: only its presence matters to the interceptor's rules.
class IdleDelegate : public OAuthRequestInterceptorDelegate
{
public:
    QCoro::Task<RefreshOutcome> refreshTokens(std::shared_ptr<OAuthRequestInterceptor>) override
    {
        co_return RefreshOutcome{};
    }
};

} // namespace

class BackendHostsTest : public QObject
{
    Q_OBJECT

private slots:
    void validation_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("usable");

        QTest::newRow("https to a public host") << "https"
                                                << "api.example.com" << true;
        QTest::newRow("https with a port") << "https"
                                           << "api.example.com:8443" << true;
        QTest::newRow("http to 127.0.0.1") << "http"
                                           << "127.0.0.1:8787" << true;
        QTest::newRow("http to localhost") << "http"
                                           << "localhost:8787" << true;
        QTest::newRow("http to ::1") << "http"
                                     << "[::1]:8787" << true;
        QTest::newRow("http to a public host") << "http"
                                               << "api.example.com" << false;
        QTest::newRow("http to a LAN address") << "http"
                                               << "192.168.1.10:8787" << false;
        QTest::newRow("http to a name that starts like loopback") << "http"
                                                                  << "127.0.0.1.example.com" << false;
        QTest::newRow("no host") << "https"
                                 << "" << false;
        QTest::newRow("unknown scheme") << "ftp"
                                        << "api.example.com" << false;
    }

    void validation()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, host);
        QFETCH(bool, usable);
        const BackendHosts hosts{scheme, host, host, host, host};
        QCOMPARE(hosts.validationError().isEmpty(), usable);
    }

    // The dev and ci presets compile in the local backend on loopback.
    void theCompiledInHostsAreUsable()
    {
        const BackendHosts hosts = BackendHosts::compiledIn();
        QVERIFY2(hosts.validationError().isEmpty(), qPrintable(hosts.validationError()));
        QVERIFY(!hosts.authentication.isEmpty());
    }

    void endpointsAreCompleteUrls()
    {
        const BackendEndpoints endpoints(separateHosts());
        QCOMPARE(endpoints.authenticationBase.toString(), QStringLiteral("https://auth.example.com"));
        QCOMPARE(endpoints.passwordSignIn.toString(),
                 QStringLiteral("https://auth.example.com/authn/password?realm=tarvelo"));
        QCOMPARE(endpoints.token.toString(), QStringLiteral("https://auth.example.com/token"));
        QCOMPARE(endpoints.signUp.toString(), QStringLiteral("https://api.example.com/quombler/v2/SignUp"));
        QCOMPARE(endpoints.preferenceLanguage.toString(),
                 QStringLiteral("https://api.example.com/quombler/v0/my-preferences/language"));
        QCOMPARE(endpoints.getUserMessage.toString(),
                 QStringLiteral("https://msg.example.com/v0/rpc/"
                                "com.brelta.tarvelo.user_messaging.v1.UserMessageProvider/GetUserMessage"));
        QCOMPARE(endpoints.upload.toString(), QStringLiteral("https://upload.example.com/upload"));
    }

    // Which requests carry the bearer token, with the roles on hosts of their own and all on one port.
    void bearerTokenRule_data()
    {
        QTest::addColumn<bool>("sharedOrigin");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("carriesToken");

        for (const bool shared : {false, true}) {
            const char *setup = shared ? "one origin" : "own hosts";
            QTest::addRow("%s: password sign-in", setup) << shared << "/authn/password?realm=tarvelo" << false;
            QTest::addRow("%s: token", setup) << shared << "/token" << false;
            QTest::addRow("%s: sign-up", setup) << shared << "/quombler/v2/SignUp" << false;
            QTest::addRow("%s: user info", setup) << shared << "/quombler/v2/GetUserInfo" << true;
            QTest::addRow("%s: preferences", setup) << shared << "/quombler/v0/my-preferences" << true;
            QTest::addRow("%s: messages", setup)
                << shared << "/v0/rpc/com.brelta.tarvelo.user_messaging.v1.UserMessageProvider/GetUserMessage" << true;
            QTest::addRow("%s: upload", setup) << shared << "/upload" << true;
        }
    }

    void bearerTokenRule()
    {
        QFETCH(bool, sharedOrigin);
        QFETCH(QString, path);
        QFETCH(bool, carriesToken);

        const BackendHosts hosts = sharedOrigin ? BackendHosts::loopback(8787) : separateHosts();
        const BackendEndpoints endpoints(hosts);
        // The path's own role decides the host when the roles are apart.
        QString host = hosts.restGateway;
        if (path.startsWith(QLatin1String("/authn")) || path == QLatin1String("/token"))
            host = hosts.authentication;
        else if (path.startsWith(QLatin1String("/v0/rpc")))
            host = hosts.messaging;
        else if (path == QLatin1String("/upload"))
            host = hosts.upload;
        const QUrl url(hosts.scheme + QStringLiteral("://") + host + path);

        IdleDelegate delegate;
        const OAuthRequestInterceptor interceptor(endpoints, &delegate, 2, QStringLiteral("access-1"),
                                                  QStringLiteral("refresh-1"));
        QNetworkRequest request(url);
        const QString sent = interceptor.authorize(request);
        QCOMPARE(interceptor.needsAuthorization(url), carriesToken);
        QCOMPARE(request.rawHeader("Authorization"), carriesToken ? QByteArray("Bearer access-1") : QByteArray());
        QCOMPARE(sent.isEmpty(), !carriesToken);
        // A 401 there is worth a refresh exactly when the token belongs there.
        QCOMPARE(interceptor.shouldRefresh(url, 401, 0), carriesToken);
    }

    void theAuthenticationServerIsMatchedByOriginNotByPrefix()
    {
        const BackendEndpoints endpoints(separateHosts());
        QVERIFY(endpoints.isAuthenticationRequest(QUrl(QStringLiteral("https://auth.example.com/anything"))));
        QVERIFY(!endpoints.isAuthenticationRequest(QUrl(QStringLiteral("https://auth.example.com.evil.test/token"))));
        QVERIFY(!endpoints.isAuthenticationRequest(QUrl(QStringLiteral("https://auth.example.com:8443/token"))));
    }

    void retryDecision_data()
    {
        QTest::addColumn<QString>("refreshToken");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("repeatCount");
        QTest::addColumn<bool>("refresh");

        QTest::newRow("401, first attempt") << "refresh-1" << 401 << 0 << true;
        QTest::newRow("401, repeated once") << "refresh-1" << 401 << 1 << true;
        QTest::newRow("401, repeated twice") << "refresh-1" << 401 << 2 << false;
        QTest::newRow("401 without a refresh token") << "" << 401 << 0 << false;
        QTest::newRow("403") << "refresh-1" << 403 << 0 << false;
        QTest::newRow("500") << "refresh-1" << 500 << 0 << false;
    }

    void retryDecision()
    {
        QFETCH(QString, refreshToken);
        QFETCH(int, status);
        QFETCH(int, repeatCount);
        QFETCH(bool, refresh);
        const BackendEndpoints endpoints(separateHosts());
        IdleDelegate delegate;
        // Without an access token the request carried no header, yet a 401 is still worth a refresh.
        const OAuthRequestInterceptor interceptor(endpoints, &delegate, 2, QString(), refreshToken);
        QCOMPARE(interceptor.shouldRefresh(endpoints.getUserInfo, status, repeatCount), refresh);
    }

    void withoutADelegateNothingIsAddedOrRetried()
    {
        const BackendEndpoints endpoints(separateHosts());
        const OAuthRequestInterceptor interceptor(endpoints, nullptr, 2, QStringLiteral("a"), QStringLiteral("r"));
        QNetworkRequest request(endpoints.getUserInfo);
        QVERIFY(interceptor.authorize(request).isEmpty());
        QVERIFY(!request.hasRawHeader("Authorization"));
        QVERIFY(!interceptor.shouldRefresh(endpoints.getUserInfo, 401, 0));
    }

    void aRevokedInterceptorForgetsItsTokens()
    {
        const BackendEndpoints endpoints(separateHosts());
        IdleDelegate delegate;
        OAuthRequestInterceptor interceptor(endpoints, &delegate, 2, QStringLiteral("a"), QStringLiteral("r"));
        interceptor.revoke();
        interceptor.setTokens(QStringLiteral("late-a"), QStringLiteral("late-r"));
        QNetworkRequest request(endpoints.getUserInfo);
        QVERIFY(interceptor.authorize(request).isEmpty());
        QVERIFY(!request.hasRawHeader("Authorization"));
        QVERIFY(!interceptor.shouldRefresh(endpoints.getUserInfo, 401, 0));
    }

    void userAgent_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("systemName");
        QTest::addColumn<QString>("expected");

        QTest::newRow("every piece known") << "1.4.0"
                                           << "debian"
                                           << "brelta/1.4.0/production (com.brelta.desktop; build:57; debian 12)";
        QTest::newRow("no version") << ""
                                    << "debian"
                                    << "brelta/Unknown/production (com.brelta.desktop; build:57; debian 12)";
        QTest::newRow("no system name") << "1.4.0"
                                        << ""
                                        << "brelta/1.4.0/production (com.brelta.desktop; build:57; Unknown 12)";
    }

    void userAgent()
    {
        QFETCH(QString, version);
        QFETCH(QString, systemName);
        QFETCH(QString, expected);
        UserAgentParts parts{
            QStringLiteral("brelta"), version,    QStringLiteral("production"), QStringLiteral("com.brelta.desktop"),
            QStringLiteral("57"),     systemName, QStringLiteral("12")};
        QCOMPARE(buildUserAgent(parts), expected);
    }

    void executableName_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute path") << QStringList{"/usr/bin/brelta", "--x"} << "brelta";
        QTest::newRow("trailing slash") << QStringList{"/opt/brelta/"} << "brelta";
        QTest::newRow("bare name") << QStringList{"brelta"} << "brelta";
        QTest::newRow("only slashes") << QStringList{"///"} << "";
        QTest::newRow("no arguments") << QStringList{} << "";
    }

    void executableName()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(executableNameFrom(arguments), expected);
    }

    void currentUserAgentNamesThisBuildAndSystem()
    {
        const QString agent = buildUserAgent(UserAgentParts::current({QStringLiteral("/usr/bin/brelta")}));
        QVERIFY2(agent.startsWith(QStringLiteral("brelta/")), qPrintable(agent));
        QVERIFY2(agent.contains(QStringLiteral("/production (com.brelta.desktop; build:")), qPrintable(agent));
        QVERIFY2(!agent.contains(QStringLiteral("Unknown")), qPrintable(agent));
        QVERIFY(agent.endsWith(QLatin1Char(')')));
    }
};

QTEST_GUILESS_MAIN(BackendHostsTest)
#include "tst_backendhosts.moc"
