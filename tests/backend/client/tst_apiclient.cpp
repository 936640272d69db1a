#include "testsupport/backend/ClientFixture.h"

using namespace brelta;
using namespace brelta::testsupport;
using namespace brelta::testsupport::client;
using backend::ApiClient;

namespace {

// One endpoint call, with its decoded answer summed up as text.
using Call = std::function<QCoro::Task<QString>(ApiClient *)>;

nlohmann::json sampleMessage()
{
    return {{"messageId", "m1"},
            {"content", {{"simpleText", {{"title", "Hello"}, {"body", "World"}}}}},
            {"schedule", {{"asap", nlohmann::json::object()}}}};
}

} // namespace

Q_DECLARE_METATYPE(Call)

class ApiClientTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ClientFixture> f;

private slots:
    void init()
    {
        f = std::make_unique<ClientFixture>();
        f->signIn();
    }

    void cleanup() { f.reset(); }

    // Every endpoint: what goes on the wire, and what the caller gets back.
    void endpoints_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");  // exactly as sent; empty: no body
        QTest::addColumn<bool>("jsonHeaders"); // the client's Content-Type and User-Agent
        QTest::addColumn<QString>("answer");   // {email} and {userId} stand for the seeded user's

        QTest::newRow("user info") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            const auto info = co_await c->getUserInfo();
            co_return info.identityId + QStringLiteral(" features:%1").arg(info.enabledFeatures.size());
        }) << QByteArray("POST") << "/quombler/v2/GetUserInfo"
                                   << QByteArray("{}") << true << "{userId} features:1";

        QTest::newRow("coaching tip") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            co_return co_await c->generateCoachingTip();
        }) << QByteArray("POST") << "/quombler/v2/GenerateCoachingTips"
                                      << QByteArray(R"({"amount":{"amount_to_generate":"1"}})") << true
                                      << "Pause for a second before you answer a hard question.";

        QTest::newRow("preferences") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            const auto preferences = co_await c->getPreferences();
            co_return QStringLiteral("goals:%1 default:%2")
                .arg(preferences.globalGoalSpecification.availableGoals.size())
                .arg(preferences.globalLanguageSpecification.defaultFeedbackLanguage);
        }) << QByteArray("GET") << "/quombler/v0/my-preferences"
                                     << QByteArray() << false << "goals:5 default:en";

        QTest::newRow("goals") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            const QStringList goals{QStringLiteral("GOAL_SPEAK_CONCISELY"), QStringLiteral("GOAL_LISTEN_ACTIVELY")};
            co_await c->setGoals(goals);
            co_return QStringLiteral("done");
        }) << QByteArray("PUT") << "/quombler/v0/my-preferences/goals"
                               << QByteArray(R"({"goals":["GOAL_SPEAK_CONCISELY","GOAL_LISTEN_ACTIVELY"]})") << true
                               << "done";

        QTest::newRow("feedback language") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            co_await c->setFeedbackLanguage(QStringLiteral("de"));
            co_return QStringLiteral("done");
        }) << QByteArray("PUT") << "/quombler/v0/my-preferences/language"
                                           << QByteArray(R"({"language_preferences":{"feedback_language":"de"}})")
                                           << true << "done";

        QTest::newRow("active messages") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            const auto entries = co_await c->listActiveUserMessages();
            QStringList ids;
            for (const auto &entry : entries)
                ids << entry.messageId;
            co_return ids.join(QLatin1Char(','));
        }) << QByteArray("POST") << kMessagingPath + "ListActiveUserMessages"
                                         << QByteArray(R"({"user_id":"{email}"})") << true << "m1";

        QTest::newRow("one message") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            const auto message = co_await c->getUserMessage(QStringLiteral("m1"));
            co_return message.messageId + QLatin1Char(':') + message.content.simpleText->title;
        }) << QByteArray("POST") << kMessagingPath + "GetUserMessage"
                                     << QByteArray(R"({"user_id":"{email}","message_id":"m1"})") << true << "m1:Hello";

        QTest::newRow("message interaction") << Call([](ApiClient *c) -> QCoro::Task<QString> {
            co_await c->reportUserMessageInteraction(QStringLiteral("m1"));
            co_return QStringLiteral("done");
        }) << QByteArray("POST") << kMessagingPath + "ReportUserMessageInteraction"
                                             << QByteArray(R"({"message_id":"m1"})") << true << "done";
    }

    void endpoints()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, jsonHeaders);
        QFETCH(QString, answer);

        const auto &user = f->server.seededUser();
        body.replace("{email}", user.email.toUtf8());
        answer.replace(QStringLiteral("{userId}"), user.id);
        f->server.setEnabledFeatures({QStringLiteral("FEATURE_USE_EXPERIMENT_AUDIO_RECORDER")});
        QVERIFY(f->server.queueMessage(sampleMessage()).isEmpty());

        const auto result = awaitTask(call(f->client.get()));
        QVERIFY2(result.succeeded(), qPrintable(result.errorText()));
        QCOMPARE(*result.value, answer);

        const auto requests = f->server.receivedRequests();
        QCOMPARE(requests.size(), 1);
        const auto &request = requests.first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.path, path);
        QVERIFY(request.query.isEmpty());
        QCOMPARE(request.body, body);
        QCOMPARE(request.header("Authorization"), "Bearer " + f->client->accessToken()->toUtf8());
        if (jsonHeaders) {
            QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
            QCOMPARE(request.header("User-Agent"), f->client->userAgent().toUtf8());
        } else {
            QVERIFY(!request.hasHeader("Content-Type"));
            QVERIFY(request.header("User-Agent") != f->client->userAgent().toUtf8());
        }
    }

    void withoutAStoredUserNameMessagesAreNotAsked()
    {
        f->settings.remove(platform::settings::kUsername);

        const auto list = awaitTask(f->client->listActiveUserMessages());
        QVERIFY(list.succeeded());
        QVERIFY(list.value->empty());
        const auto message = awaitTask(f->client->getUserMessage(QStringLiteral("m1")));
        QCOMPARE(failureOf(message), QStringLiteral("username was not found"));
        QVERIFY(f->server.receivedRequests().isEmpty());
    }

    void anEmptyStoredUserNameIsSentAsIs()
    {
        f->settings.setText(platform::settings::kUsername, QString());
        const auto list = awaitTask(f->client->listActiveUserMessages());
        QCOMPARE(failureOf(list), QStringLiteral("status 403")); // the backend knows no user ""
        QCOMPARE(f->requestsTo(kMessagingPath + "ListActiveUserMessages").value(0).body,
                 QByteArray(R"({"user_id":""})"));
    }

    // The failures callers tell apart, and those they receive as the HTTP failure.
    void errorMapping_data()
    {
        QTest::addColumn<QString>("failPath");
        QTest::addColumn<int>("status");
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("expected");

        const Call signIn = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->signIn(QStringLiteral("dev@brelta.test"), QStringLiteral("brelta-dev-password"))).id;
        };
        const Call codeExchange = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->signInWithCode(QStringLiteral("some-code"))).id;
        };
        const Call signUp = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->signUp(QStringLiteral("new@brelta.test"), QStringLiteral("Password-123"))).id;
        };
        const Call userInfo = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->getUserInfo()).identityId;
        };
        const Call preferences = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->getPreferences()).globalLanguageSpecification.defaultFeedbackLanguage;
        };
        const Call goals = [](ApiClient *c) -> QCoro::Task<QString> {
            co_await c->setGoals(QStringList());
            co_return QString();
        };

        QTest::newRow("password sign-in 400") << "/authn/password" << 400 << signIn << "signInWrongCredentials";
        QTest::newRow("password sign-in 401") << "/authn/password" << 401 << signIn << "signInWrongCredentials";
        QTest::newRow("password sign-in 403") << "/authn/password" << 403 << signIn << "signInWrongCredentials";
        QTest::newRow("password sign-in 499") << "/authn/password" << 499 << signIn << "signInWrongCredentials";
        QTest::newRow("password sign-in 500") << "/authn/password" << 500 << signIn << "status 500";
        QTest::newRow("token 401 in a sign-in") << "/token" << 401 << signIn << "status 401";
        QTest::newRow("token 403 in a code exchange") << "/token" << 403 << codeExchange << "status 403";
        QTest::newRow("token 409") << "/token" << 409 << codeExchange << "status 409";
        QTest::newRow("sign-up 409") << "/quombler/v2/SignUp" << 409 << signUp << "signUpEmailExists";
        QTest::newRow("sign-up 400") << "/quombler/v2/SignUp" << 400 << signUp << "status 400";
        QTest::newRow("user info 409") << "/quombler/v2/GetUserInfo" << 409 << userInfo << "status 409";
        QTest::newRow("user info 404") << "/quombler/v2/GetUserInfo" << 404 << userInfo << "status 404";
        QTest::newRow("preferences 500") << "/quombler/v0/my-preferences" << 500 << preferences << "status 500";
        QTest::newRow("goals 503") << "/quombler/v0/my-preferences/goals" << 503 << goals << "status 503";
    }

    void errorMapping()
    {
        QFETCH(QString, failPath);
        QFETCH(int, status);
        QFETCH(Call, call);
        QFETCH(QString, expected);

        f->server.failNext(failPath, status);
        QCOMPARE(failureOf(awaitTask(call(f->client.get()))), expected);
    }

    void aFailedPasswordSignInNeverReachesTheTokenEndpoint()
    {
        f->server.failNext(QStringLiteral("/authn/password"), 401);
        const QString accessBefore = *f->client->accessToken();
        QCOMPARE(failureOf(awaitTask(f->client->signIn(QStringLiteral("dev@brelta.test"), QStringLiteral("x")))),
                 QStringLiteral("signInWrongCredentials"));
        QVERIFY(f->requestsTo(QStringLiteral("/token")).isEmpty());
        QCOMPARE(*f->client->accessToken(), accessBefore);
    }

    // Without a usable connection every call fails as badConnection: nobody listening, or no answer in time.
    void connectionFailures_data()
    {
        QTest::addColumn<bool>("hang");
        QTest::addColumn<QString>("path");
        QTest::addColumn<Call>("call");

        const Call userInfo = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->getUserInfo()).identityId;
        };
        const Call preferences = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->getPreferences()).globalLanguageSpecification.defaultFeedbackLanguage;
        };
        const Call language = [](ApiClient *c) -> QCoro::Task<QString> {
            co_await c->setFeedbackLanguage(QStringLiteral("en"));
            co_return QString();
        };
        const Call messages = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return QString::number((co_await c->listActiveUserMessages()).size());
        };
        for (const bool hang : {false, true}) {
            const char *how = hang ? "no answer" : "nobody listening";
            QTest::addRow("%s: user info", how) << hang << "/quombler/v2/GetUserInfo" << userInfo;
            QTest::addRow("%s: preferences", how) << hang << "/quombler/v0/my-preferences" << preferences;
            QTest::addRow("%s: feedback language", how) << hang << "/quombler/v0/my-preferences/language" << language;
            QTest::addRow("%s: messages", how) << hang << kMessagingPath + "ListActiveUserMessages" << messages;
        }
    }

    void connectionFailures()
    {
        QFETCH(bool, hang);
        QFETCH(QString, path);
        QFETCH(Call, call);

        auto options = ClientFixture::shortTimeouts();
        options.transferTimeout = std::chrono::milliseconds(700);
        std::unique_ptr<ApiClient> client;
        if (hang) {
            f->server.setHang(path, true);
            client = f->makeClient(options);
        } else {
            client = std::make_unique<ApiClient>(backend::BackendHosts::loopback(closedPort()), &f->keychain,
                                                 &f->settings, &f->session, options);
        }
        client->configureInterceptor(*f->client->accessToken(), *f->client->refreshToken());
        const auto result = awaitTask(call(client.get()), std::chrono::seconds(5));
        QCOMPARE(failureOf(result), QStringLiteral("badConnection"));
    }
};

// Answers the local backend gives only when told to: bodies of the wrong shape, a dropped connection.
class ApiClientOddAnswersTest : public QObject
{
    Q_OBJECT

private slots:
    void oddAnswers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("expected");

        const Call tip = [](ApiClient *c) -> QCoro::Task<QString> { co_return co_await c->generateCoachingTip(); };
        const Call userInfo = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->getUserInfo()).identityId;
        };
        const Call code = [](ApiClient *c) -> QCoro::Task<QString> {
            co_return (co_await c->signInWithCode(QStringLiteral("c"))).id;
        };

        QTest::newRow("no tip generated")
            << "/quombler/v2/GenerateCoachingTips" << QByteArray(R"({"generatedCoachingTips":[]})") << tip
            << "the backend generated no coaching tip";
        QTest::newRow("unknown feature") << "/quombler/v2/GetUserInfo"
                                         << QByteArray(
                                                R"({"userInfo":{"identityId":"u","enabledFeatures":["FEATURE_X"]}})")
                                         << userInfo << "decoding";
        QTest::newRow("not JSON") << "/quombler/v2/GetUserInfo" << QByteArray("<html>") << userInfo << "decoding";
        QTest::newRow("token answer without its lifetime")
            << "/token" << QByteArray(R"({"accessToken":"a","refreshToken":"r","identity":{"id":"u","email":"e"}})")
            << code << "decoding";
    }

    void oddAnswers()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        QFETCH(Call, call);
        QFETCH(QString, expected);

        devserver::DevServer server;
        QVERIFY(server.listen());
        server.setResponse(path, devserver::CannedResponse{200, "application/json", answer});

        platform::SecretStore secrets;
        backend::KeychainStore keychain(&secrets, QStringLiteral("com.brelta.test-odd"));
        ApiClient client(backend::BackendHosts::loopback(server.port()), &keychain, nullptr, nullptr,
                         ClientFixture::shortTimeouts());
        client.configureInterceptor(QStringLiteral("a"), QStringLiteral("r"));
        QCOMPARE(failureOf(awaitTask(call(&client))), expected);
        // A token answer that did not decode changes nothing.
        QVERIFY(!client.accessToken());
    }

    void aDroppedConnectionIsABadConnection()
    {
        // Reads each request, then hangs up without a word, however often the client tries again.
        devserver::DevServer server;
        QVERIFY(server.listen());
        server.setResponse(kUserInfoPath, devserver::CannedResponse::droppedConnection());
        server.setResponse(kPasswordPath, devserver::CannedResponse::droppedConnection());

        platform::SecretStore secrets;
        backend::KeychainStore keychain(&secrets, QStringLiteral("com.brelta.test-dropped"));
        ApiClient client(backend::BackendHosts::loopback(server.port()), &keychain, nullptr, nullptr,
                         ClientFixture::shortTimeouts());
        QCOMPARE(failureOf(awaitTask(client.getUserInfo())), QStringLiteral("badConnection"));
        QCOMPARE(failureOf(awaitTask(client.signIn(QStringLiteral("a@b.c"), QStringLiteral("p")))),
                 QStringLiteral("badConnection"));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ApiClientTest endpoints;
    ApiClientOddAnswersTest oddAnswers;
    return QTest::qExec(&endpoints, argc, argv) | QTest::qExec(&oddAnswers, argc, argv);
}

#include "tst_apiclient.moc"
