#include "testsupport/backend/ClientFixture.h"

using namespace brelta;
using namespace brelta::testsupport;
using namespace brelta::testsupport::client;

// The bearer token and its refresh, seen from the local backend, which rotates refresh tokens: each one is
// good for one refresh only, as a strict backend's are.
class InterceptorTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ClientFixture> f;

    QByteArray bearer() const { return "Bearer " + f->client->accessToken().value_or(QString()).toUtf8(); }

private slots:
    void init()
    {
        f = std::make_unique<ClientFixture>();
        f->signIn();
    }

    void cleanup() { f.reset(); }

    void aRefusedTokenIsRefreshedAndTheRequestRepeated()
    {
        const QByteArray oldBearer = bearer();
        f->server.failNext(kUserInfoPath, 401);

        const auto info = awaitTask(f->client->getUserInfo());
        QVERIFY2(info.succeeded(), qPrintable(info.errorText()));

        const auto attempts = f->requestsTo(kUserInfoPath);
        QCOMPARE(attempts.size(), 2);
        QCOMPARE(attempts[0].header("Authorization"), oldBearer);
        QCOMPARE(attempts[1].header("Authorization"), bearer());
        QVERIFY(bearer() != oldBearer);
        const auto refreshes = f->requestsTo(kTokenPath);
        QCOMPARE(refreshes.size(), 1);
        QVERIFY(!refreshes[0].hasHeader("Authorization"));
        QCOMPARE(refreshes[0].json().size(), size_t(1)); // {"refreshToken": …} and nothing else
        QVERIFY(refreshes[0].json().contains("refreshToken"));
        // The new tokens are kept: in the interceptor and in the Secret Service.
        QCOMPARE(f->client->interceptor()->accessToken(), *f->client->accessToken());
        QCOMPARE(awaitTask(f->keychain.getString(backend::KeychainKey::RefreshToken)).value->value,
                 *f->client->refreshToken());
    }

    void otherRefusalsAreNeverRetried_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("403") << 403;
        QTest::newRow("500") << 500;
    }

    void otherRefusalsAreNeverRetried()
    {
        QFETCH(int, status);
        f->server.failNext(kUserInfoPath, status);
        QCOMPARE(failureOf(awaitTask(f->client->getUserInfo())), QStringLiteral("status %1").arg(status));
        QCOMPARE(f->requestsTo(kUserInfoPath).size(), 1);
        QVERIFY(f->requestsTo(kTokenPath).isEmpty());
    }

    void theThirdRefusalReachesTheCaller()
    {
        f->server.setFailure(kUserInfoPath, 401);
        QCOMPARE(failureOf(awaitTask(f->client->getUserInfo())), QStringLiteral("status 401"));
        QCOMPARE(f->requestsTo(kUserInfoPath).size(), 3);
        QCOMPARE(f->requestsTo(kTokenPath).size(), 2);
        QCOMPARE(f->session.logOutCount, 0);
    }

    void concurrentRefusalsShareOneRefresh()
    {
        // Every access token from now on is expired at once; the next one comes from the refresh.
        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn();
        f->server.setAccessTokenLifetime(std::chrono::hours(1));

        auto first = f->client->getUserInfo();
        auto second = f->client->getPreferences();
        auto third = f->client->listActiveUserMessages();
        const auto a = awaitTask(std::move(first));
        const auto b = awaitTask(std::move(second));
        const auto c = awaitTask(std::move(third));
        QVERIFY2(a.succeeded(), qPrintable(a.errorText()));
        QVERIFY2(b.succeeded(), qPrintable(b.errorText()));
        QVERIFY2(c.succeeded(), qPrintable(c.errorText()));
        QCOMPARE(f->requestsTo(kTokenPath).size(), 1);
        QCOMPARE(f->session.logOutCount, 0);
    }

    // A request sent with the old token whose refusal arrives after the refresh simply goes again.
    void aLateRefusalUsesTheRefreshThatAlreadyHappened()
    {
        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn();
        f->server.setAccessTokenLifetime(std::chrono::hours(1));

        std::optional<QCoro::Task<backend::ApiQuomblerDto::UserInfo>> late;
        QObject::connect(&f->server, &devserver::DevServer::requestReceived, f->client.get(),
                         [this, &late](const devserver::ReceivedRequest &request) {
                             if (request.path == kTokenPath && !late)
                                 late.emplace(f->client->getUserInfo()); // still carries the expired token
                         });
        const auto first = awaitTask(f->client->getPreferences());
        QVERIFY2(first.succeeded(), qPrintable(first.errorText()));
        QVERIFY(late);
        const auto second = awaitTask(std::move(*late));
        QVERIFY2(second.succeeded(), qPrintable(second.errorText()));
        QCOMPARE(f->requestsTo(kTokenPath).size(), 1);
        QCOMPARE(f->requestsTo(kUserInfoPath).size(), 2);
    }

    void aRefusedRefreshSignsOutOnce()
    {
        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn();
        f->server.setFailure(kTokenPath, 401);

        auto first = f->client->getUserInfo();
        auto second = f->client->getPreferences();
        QCOMPARE(failureOf(awaitTask(std::move(first))), QStringLiteral("status 401"));
        QCOMPARE(failureOf(awaitTask(std::move(second))), QStringLiteral("status 401"));
        QTRY_COMPARE(f->session.logOutCount, 1);
        // A request made afterwards does not offer the refused refresh token again.
        QCOMPARE(failureOf(awaitTask(f->client->getUserInfo())), QStringLiteral("status 401"));
        QCOMPARE(f->session.logOutCount, 1);
        QCOMPARE(f->requestsTo(kTokenPath).size(), 1);
        QCOMPARE(f->reported.count(QStringLiteral("Got error 401 while refreshing accessToken using refreshToken")), 1);
    }

    void aRefreshAnsweredAfterSignOutIsDropped()
    {
        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn();
        f->server.setAccessTokenLifetime(std::chrono::hours(1));

        // The user signs out while the refresh is on its way: the backend still grants new tokens.
        QObject::connect(&f->server, &devserver::DevServer::requestReceived, f->client.get(),
                         [this](const devserver::ReceivedRequest &request) {
                             if (request.path == kTokenPath)
                                 f->session.logOut();
                         });
        const auto info = awaitTask(f->client->getUserInfo());
        QVERIFY(info.threw());
        QCOMPARE(f->requestsTo(kTokenPath).size(), 1);
        QCOMPARE(f->requestsTo(kUserInfoPath).size(), 1); // not repeated with the late tokens

        QVERIFY(!f->client->accessToken());
        QVERIFY(!f->client->refreshToken());
        QVERIFY(f->client->interceptor()->accessToken().isEmpty());
        // Queued behind the sign-out's removals, these reads see what stays.
        QCOMPARE(awaitTask(f->keychain.getString(backend::KeychainKey::AccessToken)).value->status,
                 platform::SecretRead::Status::Absent);
        QCOMPARE(awaitTask(f->keychain.getString(backend::KeychainKey::RefreshToken)).value->status,
                 platform::SecretRead::Status::Absent);

        // Nothing sent afterwards carries the old user's token.
        f->server.clearReceived();
        awaitTask(f->client->getUserInfo());
        QVERIFY(!f->requestsTo(kUserInfoPath).value(0).hasHeader("Authorization"));
    }

    // A request of one session is under way (its access token already refused) when the session changes.
    void aRequestUnderWayKeepsItsInterceptor_data()
    {
        QTest::addColumn<bool>("signIn");         // a new sign-in, else a sign-out
        QTest::addColumn<bool>("refreshRefused"); // the old session's refresh token is refused too
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<int>("signOuts");
        QTest::newRow("a sign-in: the request is refreshed with its own tokens")
            << true << false << QStringLiteral("(succeeded)") << 1 << 0;
        QTest::newRow("a sign-in, and the old refresh token refused: the new session stays")
            << true << true << QStringLiteral("status 401") << 1 << 0;
        QTest::newRow("a sign-out: no refresh, no token") << false << false << QStringLiteral("status 401") << 0 << 1;
    }

    void aRequestUnderWayKeepsItsInterceptor()
    {
        QFETCH(bool, signIn);
        QFETCH(bool, refreshRefused);
        QFETCH(QString, outcome);
        QFETCH(int, refreshes);
        QFETCH(int, signOuts);

        f->server.setAccessTokenLifetime(std::chrono::seconds(0));
        f->signIn(); // the first session's access token is refused from now on
        f->server.setAccessTokenLifetime(std::chrono::hours(1));
        const QByteArray oldBearer = bearer();
        // The second sign-in's token exchange; signIn installs its interceptor next, while the request is
        // under way.
        std::optional<QString> newAccess, newRefresh;
        if (signIn) {
            QVERIFY(awaitTask(f->client->getToken(false, f->server.issueSignInCode())).succeeded());
            newAccess = f->client->accessToken();
            newRefresh = f->client->refreshToken();
        }
        if (refreshRefused)
            f->server.setFailure(kTokenPath, 401);
        f->server.clearReceived();

        bool changed = false;
        QObject::connect(&f->server, &devserver::DevServer::requestReceived, f->client.get(),
                         [&](const devserver::ReceivedRequest &request) {
                             if (request.path != kUserInfoPath || changed)
                                 return;
                             changed = true;
                             if (signIn)
                                 f->client->configureInterceptor(*newAccess, *newRefresh);
                             else
                                 f->session.logOut();
                         });
        QCOMPARE(failureOf(awaitTask(f->client->getUserInfo())), outcome);
        QVERIFY(changed);
        QCOMPARE(f->requestsTo(kTokenPath).size(), refreshes);
        QTest::qWait(100); // a sign-out after a refused refresh would come on the next turn
        QCOMPARE(f->session.logOutCount, signOuts);

        const auto attempts = f->requestsTo(kUserInfoPath);
        QCOMPARE(attempts[0].header("Authorization"), oldBearer);
        if (outcome == QLatin1String("(succeeded)")) {
            // Repeated with the old session's refreshed token, not with the new session's.
            QCOMPARE(attempts.size(), 2);
            QVERIFY(attempts[1].header("Authorization").startsWith("Bearer "));
            QVERIFY(attempts[1].header("Authorization") != oldBearer);
            QVERIFY(attempts[1].header("Authorization") != "Bearer " + newAccess->toUtf8());
        } else {
            QCOMPARE(attempts.size(), 1);
        }
        // The client holds, sends and keeps the new session's tokens, or none after the sign-out.
        QCOMPARE(f->client->accessToken(), newAccess);
        QCOMPARE(f->client->refreshToken(), newRefresh);
        QCOMPARE(f->client->interceptor()->accessToken(), newAccess.value_or(QString()));
        const auto storedRefresh = awaitTask(f->keychain.getString(backend::KeychainKey::RefreshToken));
        QVERIFY(storedRefresh.succeeded());
        if (signIn)
            QCOMPARE(storedRefresh.value->value, *newRefresh);
        else
            QCOMPARE(storedRefresh.value->status, platform::SecretRead::Status::Absent);
    }

    void aRequestWithoutTokenIsRetriedWhenARefreshTokenExists()
    {
        f->client->configureInterceptor(QString(), *f->client->refreshToken());
        const auto info = awaitTask(f->client->getUserInfo());
        QVERIFY2(info.succeeded(), qPrintable(info.errorText()));
        const auto attempts = f->requestsTo(kUserInfoPath);
        QCOMPARE(attempts.size(), 2);
        QVERIFY(!attempts[0].hasHeader("Authorization"));
        QCOMPARE(attempts[1].header("Authorization"), bearer());
    }

    void requestsToTheAuthenticationServerCarryNoToken()
    {
        awaitTask(f->client->signInWithCode(f->server.issueSignInCode()));
        awaitTask(f->client->signUp(QStringLiteral("someone@brelta.test"), QStringLiteral("Password-123")));
        const auto requests = f->server.receivedRequests();
        QVERIFY(requests.size() >= 3);
        for (const auto &request : requests)
            QVERIFY2(!request.hasHeader("Authorization"), qPrintable(request.path));
    }
};

QTEST_GUILESS_MAIN(InterceptorTest)
#include "tst_interceptor.moc"
