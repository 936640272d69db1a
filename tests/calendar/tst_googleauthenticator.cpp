// Google sign-in against the fake Google of the local backend and the private Secret Service: the consent
// in a "browser" (a test that follows the redirect), restore from the stored item, refresh and sign-out.
#include "GoogleBrowser.h"
#include "calendar/GoogleAuthenticator.h"
#include "devserver/DevServer.h"
#include "platform/AppError.h"
#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using namespace brelta;
using namespace brelta::calendar;
using brelta::devserver::DevServer;
using brelta::devserver::GoogleService;
using brelta::testsupport::awaitTask;
using brelta::testsupport::calendar::Browser;

namespace {

const platform::SecretItem kItem{QStringLiteral("com.brelta.desktop-googleAccount"), QStringLiteral("brelta")};

} // namespace

class TestGoogleAuthenticator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DevServer> m_server;
    platform::ManualClock m_clock{QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC)};
    QNetworkAccessManager m_network;
    std::unique_ptr<platform::SecretStore> m_secrets;
    Browser m_browser;

    GoogleClientConfig config(const QString &clientId = GoogleService::devClientId)
    {
        const QUrl base = m_server->baseUrl();
        GoogleClientConfig config;
        config.authUrl = base.resolved(QUrl(GoogleService::authPath));
        config.tokenUrl = base.resolved(QUrl(GoogleService::tokenPath));
        config.clientId = clientId;
        config.storeRetryDelay = std::chrono::milliseconds(10);
        return config;
    }

    std::unique_ptr<GoogleAuthenticator> make(const QString &clientId = GoogleService::devClientId)
    {
        auto authenticator =
            std::make_unique<GoogleAuthenticator>(config(clientId), m_secrets.get(), &m_network, &m_clock);
        authenticator->setUrlOpener([this](const QUrl &url) { return m_browser.open(url); });
        authenticator->setUserId(QStringLiteral("user-1"));
        return authenticator;
    }

    platform::SecretRead stored() { return *awaitTask(m_secrets->read(kItem)).value; }

private slots:
    void init()
    {
        m_server = std::make_unique<DevServer>();
        QVERIFY(m_server->listen());
        m_secrets = std::make_unique<platform::SecretStore>();
        QVERIFY(awaitTask(m_secrets->remove(kItem)).succeeded());
        m_browser.follow = true;
        m_browser.works = true;
        m_browser.opened.clear();
    }

    void connectsThenRestoresFromTheStoredItem()
    {
        auto authenticator = make();
        const auto signedIn = awaitTask(authenticator->signIn(), std::chrono::seconds(20));
        QVERIFY2(signedIn.succeeded(), qPrintable(signedIn.errorText()));
        QVERIFY(authenticator->hasAccount());
        QCOMPARE(authenticator->email(), m_server->google().accountEmail());
        QCOMPARE(m_browser.opened.size(), 1);
        const QUrlQuery consent(m_browser.opened.first());
        QCOMPARE(consent.queryItemValue(QStringLiteral("access_type")), QStringLiteral("offline"));
        QCOMPARE(consent.queryItemValue(QStringLiteral("prompt")), QStringLiteral("consent"));
        QCOMPARE(QUrl(consent.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded)).host(),
                 QStringLiteral("127.0.0.1"));

        // The access token from the consent reads the calendar at once.
        const auto token = awaitTask(authenticator->accessToken());
        QVERIFY(token.succeeded() && token.value->has_value());

        QTRY_COMPARE(stored().status, platform::SecretRead::Status::Found);
        QVERIFY(!stored().value.contains(token.value->value())); // the access token is never stored

        // A new launch: restored from the item alone, then the first request refreshes.
        auto next = make();
        const auto restored = awaitTask(next->trySilentSignIn());
        QVERIFY(restored.succeeded() && *restored.value);
        QCOMPARE(next->email(), m_server->google().accountEmail());
        const auto refreshed = awaitTask(next->accessToken());
        QVERIFY2(refreshed.succeeded(), qPrintable(refreshed.errorText()));
        QVERIFY(refreshed.value->has_value());
        QVERIFY(**refreshed.value != **token.value);
        // Signed in already: no second consent page.
        QVERIFY(awaitTask(next->signIn()).succeeded());
        QCOMPARE(m_browser.opened.size(), 1);

        QVERIFY(awaitTask(next->signOut()).succeeded());
        QVERIFY(!next->hasAccount());
        QCOMPARE(stored().status, platform::SecretRead::Status::Absent);
        QVERIFY(!*awaitTask(make()->trySilentSignIn()).value);
    }

    void failedConnects_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("error");
        QTest::newRow("user denies") << "deny"
                                     << "Google Calendar access was declined.";
        QTest::newRow("calendar unticked")
            << "dropScope"
            << "Brelta was not allowed to see your calendar. Connect again and allow it.";
        QTest::newRow("no client id") << "noClient" << GoogleAuthenticator::kNoClientMessage;
        QTest::newRow("token endpoint fails") << "token500"
                                              << "Google refused the sign-in (HTTP 500, failure set by the test).";
        QTest::newRow("browser closed") << "timeout"
                                        << "The Google sign-in was not finished in time.";
        QTest::newRow("no browser") << "noBrowser"
                                    << "There is no presenting window!";
    }

    void failedConnects()
    {
        QFETCH(QString, failure);
        QFETCH(QString, error);
        GoogleService &google = m_server->google();
        google.setDenyConsent(failure == QLatin1String("deny"));
        google.setDropCalendarScope(failure == QLatin1String("dropScope"));
        if (failure == QLatin1String("token500"))
            m_server->setFailure(GoogleService::tokenPath, 500);
        m_browser.follow = failure != QLatin1String("timeout");
        m_browser.works = failure != QLatin1String("noBrowser");

        auto authenticator = make(failure == QLatin1String("noClient") ? QString() : GoogleService::devClientId);
        auto task = authenticator->signIn();
        if (failure == QLatin1String("timeout")) {
            QTRY_COMPARE(m_browser.opened.size(), 1);
            m_clock.advance(std::chrono::seconds(300));
        }
        const auto signedIn = awaitTask(std::move(task), std::chrono::seconds(20));
        QVERIFY(signedIn.threw());
        QCOMPARE(signedIn.errorText(), error);
        QVERIFY(!authenticator->hasAccount());
        QCOMPARE(stored().status, platform::SecretRead::Status::Absent);
        if (failure == QLatin1String("noClient"))
            QVERIFY(m_browser.opened.isEmpty());
    }

    void secondConnectReopensTheSamePage()
    {
        m_browser.follow = false;
        auto authenticator = make();
        auto first = authenticator->signIn();
        QTRY_COMPARE(m_browser.opened.size(), 1);
        m_browser.follow = true;
        const auto second = awaitTask(authenticator->signIn(), std::chrono::seconds(20));
        QVERIFY2(second.succeeded(), qPrintable(second.errorText()));
        QCOMPARE(m_browser.opened.size(), 2);
        QCOMPARE(m_browser.opened.at(1), m_browser.opened.at(0));
        QVERIFY(awaitTask(std::move(first)).succeeded());
    }

    void revokedGrantDisconnects()
    {
        auto authenticator = make();
        QVERIFY(awaitTask(authenticator->signIn(), std::chrono::seconds(20)).succeeded());
        QSignalSpy lost(authenticator.get(), &GoogleAuthenticator::accountLost);
        m_server->google().revokeGrants();
        m_clock.advance(std::chrono::hours(1)); // the access token expires
        const auto token = awaitTask(authenticator->accessToken());
        QVERIFY(token.succeeded());
        QVERIFY(!token.value->has_value());
        QCOMPARE(lost.size(), 1);
        QVERIFY(!authenticator->hasAccount());
        QTRY_COMPARE(stored().status, platform::SecretRead::Status::Absent);
    }

    void refreshesOnceForConcurrentCallers()
    {
        auto authenticator = make();
        QVERIFY(awaitTask(authenticator->signIn(), std::chrono::seconds(20)).succeeded());
        const QString first = **awaitTask(authenticator->accessToken()).value;
        auto a = authenticator->refreshedAccessToken(first);
        auto b = authenticator->refreshedAccessToken(first);
        const auto ta = awaitTask(std::move(a));
        const auto tb = awaitTask(std::move(b));
        QVERIFY(ta.succeeded() && tb.succeeded());
        QCOMPARE(**ta.value, **tb.value);
        QVERIFY(**ta.value != first);
    }

    void restoreKeepsAnotherUsersAccountOut_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("same user") << R"({"refreshToken":"1//r","email":"a@b.c","userId":"user-1"})" << true << true;
        QTest::newRow("other user") << R"({"refreshToken":"1//r","email":"a@b.c","userId":"user-2"})" << false << false;
        QTest::newRow("unreadable") << "not json" << false << true;
        QTest::newRow("no refresh token") << R"({"email":"a@b.c","userId":"user-1"})" << false << true;
    }

    void restoreKeepsAnotherUsersAccountOut()
    {
        QFETCH(QString, value);
        QFETCH(bool, restored);
        QFETCH(bool, kept);
        QVERIFY(!awaitTask(m_secrets->write(kItem, value)).value->failed());
        auto authenticator = make();
        QCOMPARE(*awaitTask(authenticator->trySilentSignIn()).value, restored);
        QCOMPARE(authenticator->hasAccount(), restored);
        QCOMPARE(stored().status == platform::SecretRead::Status::Found, kept);
    }
};

QTEST_GUILESS_MAIN(TestGoogleAuthenticator)
#include "tst_googleauthenticator.moc"
