#include "testsupport/backend/ClientFixture.h"

#include "platform/keyring/KeyringControl.h"

#include <QSignalSpy>

using namespace brelta;
using namespace brelta::testsupport;
using namespace brelta::testsupport::client;
using backend::KeychainKey;
using platform::SecretRead;

// Sign-in, the token exchange and the tokens' life in the test run's real Secret Service.
class SignInTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ClientFixture> f;

    SecretRead stored(KeychainKey key) { return *awaitTask(f->keychain.getString(key)).value; }

private slots:
    void init() { f = std::make_unique<ClientFixture>(); }
    void cleanup() { f.reset(); }

    void signingInKeepsAndStoresTheTokens()
    {
        const auto &user = f->server.seededUser();
        const auto identity = awaitTask(f->client->signIn(user.email, user.password));
        QVERIFY2(identity.succeeded(), qPrintable(identity.errorText()));
        QCOMPARE(identity.value->id, user.id);
        QCOMPARE(identity.value->email, user.email);

        const auto login = f->requestsTo(kPasswordPath).value(0);
        QCOMPARE(login.query.queryItemValue(QStringLiteral("realm")), QStringLiteral("tarvelo"));
        QCOMPARE(login.body,
                 QStringLiteral(R"({"username":"%1","password":"%2"})").arg(user.email, user.password).toUtf8());
        const auto exchange = f->requestsTo(kTokenPath).value(0);
        QCOMPARE(exchange.json().size(), size_t(1));
        QVERIFY(exchange.json().contains("code"));

        QVERIFY(f->client->accessToken() && f->client->refreshToken());
        QCOMPARE(f->client->interceptor()->accessToken(), *f->client->accessToken());
        QCOMPARE(f->client->interceptor()->refreshToken(), *f->client->refreshToken());
        QCOMPARE(stored(KeychainKey::AccessToken).value, *f->client->accessToken());
        QCOMPARE(stored(KeychainKey::RefreshToken).value, *f->client->refreshToken());
        QVERIFY(f->reported.isEmpty());
    }

    void theItemsAreNamedAfterTheBundleAndKey()
    {
        const auto item = f->keychain.itemFor(KeychainKey::AccessToken);
        QVERIFY(item.service.endsWith(QStringLiteral("-accessCode")));
        QCOMPARE(item.account, QStringLiteral("brelta"));
        QCOMPARE(backend::KeychainStore(&f->secrets).itemFor(KeychainKey::RefreshToken).service,
                 QStringLiteral("com.brelta.desktop-refreshToken"));
    }

    void signInFailures_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        QTest::newRow("wrong password") << "wrong password"
                                        << "signInWrongCredentials";
        QTest::newRow("unreachable host") << "unreachable"
                                          << "badConnection";
        QTest::newRow("no answer in time") << "hang"
                                           << "badConnection";
    }

    void signInFailures()
    {
        QFETCH(QString, how);
        QFETCH(QString, expected);

        const auto &user = f->server.seededUser();
        QString password = user.password;
        auto options = ClientFixture::shortTimeouts();
        options.transferTimeout = std::chrono::milliseconds(800);
        std::unique_ptr<backend::ApiClient> client;
        if (how == QLatin1String("unreachable")) {
            client = std::make_unique<backend::ApiClient>(backend::BackendHosts::loopback(closedPort()), &f->keychain,
                                                          &f->settings, &f->session, options);
        } else {
            client = f->makeClient(options);
            if (how == QLatin1String("hang"))
                f->server.setHang(kPasswordPath, true);
            else
                password = QStringLiteral("not the password");
        }

        const auto result = awaitTask(client->signIn(user.email, password), std::chrono::seconds(5));
        QCOMPARE(failureOf(result), expected);
        QVERIFY(f->requestsTo(kTokenPath).isEmpty());
        QVERIFY(!client->accessToken());
        QCOMPARE(stored(KeychainKey::AccessToken).status, SecretRead::Status::Absent);
    }

    void aCodeFromTheWebSignInSignsIn()
    {
        const auto identity = awaitTask(f->client->signInWithCode(f->server.issueSignInCode()));
        QVERIFY2(identity.succeeded(), qPrintable(identity.errorText()));
        QCOMPARE(identity.value->email, f->server.seededUser().email);
        QCOMPARE(f->client->interceptor()->accessToken(), *f->client->accessToken());
        // A code is good once.
        const QString code = f->server.issueSignInCode();
        QVERIFY(awaitTask(f->client->signInWithCode(code)).succeeded());
        QCOMPARE(failureOf(awaitTask(f->client->signInWithCode(code))), QStringLiteral("status 401"));
    }

    void aBareExchangeLeavesTheInterceptorAlone()
    {
        f->signIn();
        const auto interceptor = f->client->interceptor();
        const QString before = interceptor->accessToken();
        QVERIFY(awaitTask(f->client->getToken(false, f->server.issueSignInCode())).succeeded());
        QVERIFY(*f->client->accessToken() != before);
        QCOMPARE(f->client->interceptor(), interceptor);
        QCOMPARE(interceptor->accessToken(), before);
    }

    void theLastExchangeIsTheOneStored()
    {
        const auto &user = f->server.seededUser();
        auto first = f->client->signIn(user.email, user.password);
        auto second = f->client->signInWithCode(f->server.issueSignInCode());
        QVERIFY(awaitTask(std::move(first)).succeeded());
        QVERIFY(awaitTask(std::move(second)).succeeded());
        QCOMPARE(stored(KeychainKey::AccessToken).value, *f->client->accessToken());
        QCOMPARE(stored(KeychainKey::RefreshToken).value, *f->client->refreshToken());
    }

    void theNextLaunchFindsTheTokens()
    {
        f->signIn();
        auto relaunched = f->makeClient();
        QVERIFY(awaitTask(relaunched->loadTokensFromKeychain()).succeeded());
        QCOMPARE(relaunched->accessToken(), f->client->accessToken());
        QCOMPARE(relaunched->refreshToken(), f->client->refreshToken());
        QCOMPARE(relaunched->interceptor()->accessToken(), *f->client->accessToken());
        QVERIFY(awaitTask(relaunched->getUserInfo()).succeeded());
    }

    void storedTokensAtLaunch_data()
    {
        QTest::addColumn<bool>("accessStored");
        QTest::addColumn<bool>("refreshStored");
        QTest::addColumn<bool>("userStored");
        QTest::newRow("none") << false << false << true;
        QTest::newRow("only the access token") << true << false << true;
        QTest::newRow("nobody signed in: the left tokens are deleted") << true << false << false;
    }

    void storedTokensAtLaunch()
    {
        QFETCH(bool, accessStored);
        QFETCH(bool, refreshStored);
        QFETCH(bool, userStored);
        f->settings.setText(brelta::platform::settings::kUsername,
                            userStored ? QStringLiteral("dev@brelta.test") : QString());
        if (accessStored)
            QVERIFY(*awaitTask(f->keychain.setString(QStringLiteral("stored-access"), KeychainKey::AccessToken)).value);
        if (refreshStored)
            QVERIFY(
                *awaitTask(f->keychain.setString(QStringLiteral("stored-refresh"), KeychainKey::RefreshToken)).value);

        QVERIFY(awaitTask(f->client->loadTokensFromKeychain()).succeeded());
        if (!userStored) {
            QVERIFY(!f->client->accessToken());
            QVERIFY(f->client->interceptor()->accessToken().isEmpty());
            QTRY_COMPARE(awaitTask(f->keychain.getString(KeychainKey::AccessToken)).value->status,
                         brelta::platform::SecretRead::Status::Absent);
            return;
        }
        QCOMPARE(f->client->accessToken().has_value(), accessStored);
        QCOMPARE(f->client->refreshToken().has_value(), refreshStored);
        QCOMPARE(f->client->interceptor()->accessToken(), accessStored ? QStringLiteral("stored-access") : QString());
        QVERIFY(f->client->interceptor()->refreshToken().isEmpty());
        QVERIFY(f->reported.isEmpty());
    }

    // A locked keyring at launch is not "signed out": the tokens are read once it opens.
    void aLockedKeyringAtLaunchIsReadLater()
    {
        f->signIn();
        // Reads queue behind the sign-in's writes: once they answer, the tokens are stored.
        QCOMPARE(stored(KeychainKey::AccessToken).value, *f->client->accessToken());
        QCOMPARE(stored(KeychainKey::RefreshToken).value, *f->client->refreshToken());
        auto relaunched = f->makeClient();
        QStringList reported;
        connect(relaunched.get(), &backend::ApiClient::errorReported, this,
                [&reported](const platform::AppError &error) { reported << error.message(); });
        QSignalSpy restored(relaunched.get(), &backend::ApiClient::tokensRestored);

        keyring::LockedKeyring locked;
        QVERIFY(locked.isLocked());
        QVERIFY(awaitTask(relaunched->loadTokensFromKeychain()).succeeded());
        QVERIFY(!relaunched->accessToken());
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported.first().startsWith(QStringLiteral("failed to read the tokens from the keychain")),
                 qPrintable(reported.first()));

        QVERIFY(locked.unlock());
        QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 1, 5000);
        QCOMPARE(relaunched->accessToken(), f->client->accessToken());
        QCOMPARE(relaunched->interceptor()->refreshToken(), *f->client->refreshToken());
    }

    // The application quits while the launch still reads the tokens: the read ends quietly, and what is
    // stored stays stored.
    void aClientClosedWhileItReadsItsTokensLeavesThemStored()
    {
        f->signIn();
        const QString access = *f->client->accessToken();
        const QString refresh = *f->client->refreshToken();
        auto relaunched = f->makeClient();
        f->session.client = f->client.get();
        QCoro::Task<> loading = relaunched->loadTokensFromKeychain();
        relaunched.reset();
        QVERIFY(awaitTask(std::move(loading)).succeeded());
        QCOMPARE(stored(KeychainKey::AccessToken).value, access);
        QCOMPARE(stored(KeychainKey::RefreshToken).value, refresh);
        QVERIFY(f->reported.isEmpty());
    }

    void aFailedKeychainWriteStillSignsIn()
    {
        keyring::LockedKeyring locked;
        QVERIFY(locked.isLocked());
        const auto &user = f->server.seededUser();
        const auto identity = awaitTask(f->client->signIn(user.email, user.password));
        QVERIFY2(identity.succeeded(), qPrintable(identity.errorText()));
        QVERIFY(f->client->accessToken());
        QTRY_VERIFY_WITH_TIMEOUT(f->reported.contains(QStringLiteral("failed to set accessToken to keychain")), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(f->reported.contains(QStringLiteral("failed to set refreshToken to keychain")), 8000);
    }

    void signingOutForgetsTheTokensEverywhere()
    {
        f->signIn();
        f->session.logOut();
        QVERIFY(!f->client->accessToken());
        QVERIFY(!f->client->refreshToken());
        QVERIFY(f->client->interceptor()->accessToken().isEmpty());
        QCOMPARE(stored(KeychainKey::AccessToken).status, SecretRead::Status::Absent);
        QCOMPARE(stored(KeychainKey::RefreshToken).status, SecretRead::Status::Absent);
    }
};

QTEST_GUILESS_MAIN(SignInTest)
#include "tst_signin.moc"
