// The local backend over real HTTP: what a client sends, what it gets back, and the test controls.
#include "HttpProbe.h"

#include "devserver/DevServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace brelta::devserver;
using namespace brelta::devserver::test;
using namespace std::chrono_literals;

// QCOMPARE cannot take JSON values; their texts compare the same (keys sorted) and print well.
#define JSON_COMPARE(actual, expected)                                                                                 \
    QCOMPARE(QString::fromStdString(nlohmann::json(actual).dump()),                                                    \
             QString::fromStdString(nlohmann::json(expected).dump()))

namespace {

const QString signInPath = AuthService::passwordPath + QStringLiteral("?realm=tarvelo");

struct Tokens
{
    QString access;
    QString refresh;
};

QHttpPart textPart(const QByteArray &name, const QByteArray &value)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"" + name + "\"");
    part.setBody(value);
    return part;
}

QHttpPart filePart(const QByteArray &fileName, const QByteArray &contentType, const QByteArray &bytes)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   "form-data; name=\"files\"; filename=\"" + fileName + "\"");
    part.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    part.setBody(bytes);
    return part;
}

struct UploadForm
{
    QByteArray fileName = "practice_1.m4a";
    QByteArray bytes = "not really audio";
    QByteArray startTime = "2026-12-11T09:30:00+0100";
    QByteArray endTime = "2026-12-11T09:45:10+0100";
    QByteArray sessionType = "default";
    std::optional<QByteArray> sourceParams;
    bool withFile = true;

    QHttpMultiPart *build() const
    {
        auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        if (withFile)
            form->append(filePart(fileName, "audio/m4a", bytes));
        form->append(textPart("username", "dev@brelta.test"));
        form->append(textPart("startTime", startTime));
        form->append(textPart("endTime", endTime));
        form->append(textPart("sessionType", sessionType));
        if (sourceParams)
            form->append(textPart("sourceParams", *sourceParams));
        return form;
    }
};

} // namespace

class TestDevServer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DevServer> m_server;
    std::unique_ptr<HttpProbe> m_http;

    HttpProbe &http() { return *m_http; }
    DevServer &server() { return *m_server; }

    ProbeReply signInRequest(const QString &email, const QString &password)
    {
        return http().post(signInPath, {{"username", email.toStdString()}, {"password", password.toStdString()}});
    }

    Tokens exchange(const nlohmann::json &grantBody)
    {
        const ProbeReply reply = http().post(AuthService::tokenPath, grantBody);
        if (reply.status != 200)
            return {};
        const auto json = reply.json();
        return {QString::fromStdString(json.value("accessToken", "")),
                QString::fromStdString(json.value("refreshToken", ""))};
    }

    Tokens signIn()
    {
        const ProbeReply reply = signInRequest(server().seededUser().email, server().seededUser().password);
        return exchange({{"code", reply.json().value("code", "")}});
    }

    ProbeReply asUser(const Tokens &tokens, const QByteArray &method, const QString &path, const QByteArray &body)
    {
        HttpProbe probe(server().baseUrl());
        probe.setBearer(tokens.access);
        return probe.send(method, path, body);
    }

    ProbeReply upload(const Tokens &tokens, const UploadForm &form)
    {
        HttpProbe probe(server().baseUrl());
        probe.setBearer(tokens.access);
        return HttpProbe::finish(probe.startMultipart(UploadService::path, form.build()));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<DevServer>();
        QVERIFY(m_server->listen());
        QVERIFY(m_server->port() != 0);
        m_http = std::make_unique<HttpProbe>(m_server->baseUrl());
    }

    void cleanup()
    {
        m_http.reset();
        m_server.reset();
    }

    void answersEachEndpointWithItsStatus_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<int>("status");

        const QByteArray rightPassword = R"({"username":"dev@brelta.test","password":"brelta-dev-password"})";
        const QString list = MessagingService::listPath;
        const QString get = MessagingService::getPath;
        const QString report = MessagingService::reportPath;

        QTest::newRow("sign-in, right password") << QByteArray("POST") << signInPath << rightPassword << false << 200;
        QTest::newRow("sign-in, e-mail in other case")
            << QByteArray("POST") << signInPath
            << QByteArray(R"({"username":"Dev@Brelta.test","password":"brelta-dev-password"})") << false << 200;
        QTest::newRow("sign-in, wrong password")
            << QByteArray("POST") << signInPath << QByteArray(R"({"username":"dev@brelta.test","password":"nope"})")
            << false << 401;
        QTest::newRow("sign-in, unknown e-mail")
            << QByteArray("POST") << signInPath
            << QByteArray(R"({"username":"who@brelta.test","password":"brelta-dev-password"})") << false << 401;
        QTest::newRow("sign-in, no realm")
            << QByteArray("POST") << AuthService::passwordPath << rightPassword << false << 400;
        QTest::newRow("sign-in, password as number")
            << QByteArray("POST") << signInPath << QByteArray(R"({"username":"dev@brelta.test","password":1})") << false
            << 400;
        QTest::newRow("sign-in, body not JSON")
            << QByteArray("POST") << signInPath << QByteArray("username=dev") << false << 400;
        QTest::newRow("sign-in with GET") << QByteArray("GET") << signInPath << QByteArray() << false << 405;
        QTest::newRow("token, unknown code")
            << QByteArray("POST") << AuthService::tokenPath << QByteArray(R"({"code":"code_made_up"})") << false << 401;
        QTest::newRow("token, unknown refresh token") << QByteArray("POST") << AuthService::tokenPath
                                                      << QByteArray(R"({"refreshToken":"rt_made_up"})") << false << 401;
        QTest::newRow("token, code and refresh token together")
            << QByteArray("POST") << AuthService::tokenPath << QByteArray(R"({"code":"a","refreshToken":"b"})") << false
            << 400;
        QTest::newRow("token, empty object")
            << QByteArray("POST") << AuthService::tokenPath << QByteArray("{}") << false << 400;
        QTest::newRow("token, other key")
            << QByteArray("POST") << AuthService::tokenPath << QByteArray(R"({"token":"a"})") << false << 400;
        QTest::newRow("sign-up, new address")
            << QByteArray("POST") << AuthService::signUpPath
            << QByteArray(R"({"email":"new@brelta.test","password":"pw"})") << false << 200;
        QTest::newRow("sign-up, taken address")
            << QByteArray("POST") << AuthService::signUpPath
            << QByteArray(R"({"email":"dev@brelta.test","password":"pw"})") << false << 409;
        QTest::newRow("sign-up, no password") << QByteArray("POST") << AuthService::signUpPath
                                              << QByteArray(R"({"email":"new@brelta.test"})") << false << 400;
        QTest::newRow("user info") << QByteArray("POST") << GatewayService::userInfoPath << QByteArray("{}") << true
                                   << 200;
        QTest::newRow("user info, no token")
            << QByteArray("POST") << GatewayService::userInfoPath << QByteArray("{}") << false << 401;
        QTest::newRow("user info, empty body")
            << QByteArray("POST") << GatewayService::userInfoPath << QByteArray() << true << 400;
        QTest::newRow("coaching tip") << QByteArray("POST") << GatewayService::coachingTipsPath
                                      << QByteArray(R"({"amount":{"amount_to_generate":"1"}})") << true << 200;
        QTest::newRow("coaching tip, count as number")
            << QByteArray("POST") << GatewayService::coachingTipsPath
            << QByteArray(R"({"amount":{"amount_to_generate":1}})") << true << 400;
        QTest::newRow("coaching tip, zero") << QByteArray("POST") << GatewayService::coachingTipsPath
                                            << QByteArray(R"({"amount":{"amount_to_generate":"0"}})") << true << 400;
        QTest::newRow("preferences") << QByteArray("GET") << GatewayService::preferencesPath << QByteArray() << true
                                     << 200;
        QTest::newRow("preferences, no token")
            << QByteArray("GET") << GatewayService::preferencesPath << QByteArray() << false << 401;
        QTest::newRow("preferences with POST")
            << QByteArray("POST") << GatewayService::preferencesPath << QByteArray("{}") << true << 405;
        QTest::newRow("goals") << QByteArray("PUT") << GatewayService::goalsPath
                               << QByteArray(R"({"goals":["GOAL_LISTEN_ACTIVELY"]})") << true << 200;
        QTest::newRow("goals, unknown goal") << QByteArray("PUT") << GatewayService::goalsPath
                                             << QByteArray(R"({"goals":["GOAL_SING"]})") << true << 400;
        QTest::newRow("goals, not a list") << QByteArray("PUT") << GatewayService::goalsPath
                                           << QByteArray(R"({"goals":"GOAL_LISTEN_ACTIVELY"})") << true << 400;
        QTest::newRow("language") << QByteArray("PUT") << GatewayService::languagePath
                                  << QByteArray(R"({"language_preferences":{"feedback_language":"de"}})") << true
                                  << 200;
        QTest::newRow("language, not offered")
            << QByteArray("PUT") << GatewayService::languagePath
            << QByteArray(R"({"language_preferences":{"feedback_language":"it"}})") << true << 400;
        QTest::newRow("language, camelCase keys")
            << QByteArray("PUT") << GatewayService::languagePath
            << QByteArray(R"({"languagePreferences":{"feedbackLanguage":"de"}})") << true << 400;
        QTest::newRow("list messages") << QByteArray("POST") << list << QByteArray(R"({"user_id":"dev@brelta.test"})")
                                       << true << 200;
        QTest::newRow("list messages, no token")
            << QByteArray("POST") << list << QByteArray(R"({"user_id":"dev@brelta.test"})") << false << 401;
        QTest::newRow("list messages, another user")
            << QByteArray("POST") << list << QByteArray(R"({"user_id":"other@brelta.test"})") << true << 403;
        QTest::newRow("list messages, no user_id") << QByteArray("POST") << list << QByteArray("{}") << true << 400;
        QTest::newRow("get unknown message")
            << QByteArray("POST") << get << QByteArray(R"({"user_id":"dev@brelta.test","message_id":"m-none"})") << true
            << 404;
        QTest::newRow("get message, no message_id")
            << QByteArray("POST") << get << QByteArray(R"({"user_id":"dev@brelta.test"})") << true << 400;
        QTest::newRow("report unknown message")
            << QByteArray("POST") << report << QByteArray(R"({"message_id":"m-none"})") << true << 404;
        QTest::newRow("upload, no token")
            << QByteArray("POST") << UploadService::path << QByteArray("{}") << false << 401;
        QTest::newRow("upload, JSON body")
            << QByteArray("POST") << UploadService::path << QByteArray("{}") << true << 400;
        QTest::newRow("unknown path") << QByteArray("POST") << QStringLiteral("/quombler/v2/Nothing")
                                      << QByteArray("{}") << true << 404;
    }

    void answersEachEndpointWithItsStatus()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, withToken);
        QFETCH(int, status);

        if (withToken)
            http().setBearer(signIn().access);
        const ProbeReply reply = http().send(method, path, body);
        QVERIFY(reply.finished);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.header("Content-Type"), QByteArray("application/json"));
        const auto json = reply.json();
        QVERIFY2(json.is_object(), reply.body.constData());
        if (status >= 400)
            QVERIFY2(json.contains("error") && json["error"].is_string(), reply.body.constData());
        if (status == 401)
            QCOMPARE(reply.header("WWW-Authenticate").isEmpty(), path == signInPath || path == AuthService::tokenPath);
    }

    void passwordSignInTradesItsCodeForTokensOnce()
    {
        const ProbeReply signInReply =
            signInRequest(QStringLiteral("dev@brelta.test"), QStringLiteral("brelta-dev-password"));
        QCOMPARE(signInReply.status, 200);
        const auto code = signInReply.json().at("code");
        QVERIFY(code.is_string());

        const ProbeReply tokenReply = http().post(AuthService::tokenPath, {{"code", code}});
        QCOMPARE(tokenReply.status, 200);
        const auto grant = tokenReply.json();
        QCOMPARE(grant.size(), size_t(4));
        QVERIFY(grant.at("accessToken").is_string() && !grant.at("accessToken").get<std::string>().empty());
        QVERIFY(grant.at("refreshToken").is_string() && grant.at("refreshToken") != grant.at("accessToken"));
        QVERIFY(grant.at("accessTokenExpiresInSeconds").is_number_integer());
        QCOMPARE(grant.at("accessTokenExpiresInSeconds").get<int>(), 3600);
        JSON_COMPARE(grant.at("identity"),
                     nlohmann::json({{"id", server().seededUser().id.toStdString()}, {"email", "dev@brelta.test"}}));

        QCOMPARE(http().post(AuthService::tokenPath, {{"code", code}}).status, 401);
    }

    void signUpCreatesAUserThatCanSignIn()
    {
        const ProbeReply signUp =
            http().post(AuthService::signUpPath, {{"email", "new@brelta.test"}, {"password", "pw1"}});
        QCOMPARE(signUp.status, 200);
        const ProbeReply tokenReply = http().post(AuthService::tokenPath, {{"code", signUp.json().at("authCode")}});
        QCOMPARE(tokenReply.status, 200);
        JSON_COMPARE(tokenReply.json().at("identity").at("email"), "new@brelta.test");

        QCOMPARE(signInRequest(QStringLiteral("new@brelta.test"), QStringLiteral("pw1")).status, 200);
        QCOMPARE(http().post(AuthService::signUpPath, {{"email", "NEW@brelta.test"}, {"password", "x"}}).status, 409);
    }

    void webSignInCodeFromTheControlIsExchanged()
    {
        const ProbeReply reply =
            http().post(AuthService::tokenPath, {{"code", server().issueSignInCode().toStdString()}});
        QCOMPARE(reply.status, 200);
        JSON_COMPARE(reply.json().at("identity").at("id"), server().seededUser().id.toStdString());
    }

    void refreshTokenRotates()
    {
        const Tokens first = signIn();
        const Tokens second = exchange({{"refreshToken", first.refresh.toStdString()}});
        QVERIFY(!second.refresh.isEmpty());
        QVERIFY(second.refresh != first.refresh);
        QVERIFY(second.access != first.access);

        // The used refresh token is refused from now on; its successor works once.
        QCOMPARE(http().post(AuthService::tokenPath, {{"refreshToken", first.refresh.toStdString()}}).status, 401);
        QCOMPARE(asUser(second, "POST", GatewayService::userInfoPath, "{}").status, 200);
        QCOMPARE(http().post(AuthService::tokenPath, {{"refreshToken", second.refresh.toStdString()}}).status, 200);
    }

    void twoRefreshesInParallelRefuseTheSecond()
    {
        const Tokens tokens = signIn();
        const QByteArray body =
            QByteArray::fromStdString(nlohmann::json{{"refreshToken", tokens.refresh.toStdString()}}.dump());
        QNetworkReply *one = http().start("POST", AuthService::tokenPath, body);
        QNetworkReply *two = http().start("POST", AuthService::tokenPath, body);
        QList<int> statuses{HttpProbe::finish(one).status, HttpProbe::finish(two).status};
        std::sort(statuses.begin(), statuses.end());
        QCOMPARE(statuses, QList<int>({200, 401}));
    }

    void expiredAccessTokenIsRefusedUntilRefreshed()
    {
        server().setAccessTokenLifetime(0s);
        const Tokens expired = signIn();
        QVERIFY(!expired.access.isEmpty());
        const ProbeReply refused = asUser(expired, "POST", GatewayService::userInfoPath, "{}");
        QCOMPARE(refused.status, 401);
        QCOMPARE(refused.header("WWW-Authenticate"), QByteArray("Bearer error=\"invalid_token\""));

        server().setAccessTokenLifetime(60s);
        const ProbeReply refresh =
            http().post(AuthService::tokenPath, {{"refreshToken", expired.refresh.toStdString()}});
        QCOMPARE(refresh.status, 200);
        QCOMPARE(refresh.json().at("accessTokenExpiresInSeconds").get<int>(), 60);
        const Tokens fresh{QString::fromStdString(refresh.json().at("accessToken").get<std::string>()), {}};
        QCOMPARE(asUser(fresh, "POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    void accessTokenExpiresAfterItsLifetime()
    {
        server().setAccessTokenLifetime(2s);
        const Tokens tokens = signIn();
        QCOMPARE(asUser(tokens, "GET", GatewayService::preferencesPath, {}).status, 200);
        QTest::qWait(2100);
        QCOMPARE(asUser(tokens, "GET", GatewayService::preferencesPath, {}).status, 401);
    }

    void failNextAnswersTheStatusWithoutServing()
    {
        const Tokens tokens = signIn();
        server().failNext(AuthService::tokenPath, 503, 2);
        const nlohmann::json refresh{{"refreshToken", tokens.refresh.toStdString()}};
        const ProbeReply failed = http().post(AuthService::tokenPath, refresh);
        QCOMPARE(failed.status, 503);
        QVERIFY(failed.json().at("error").is_string());
        QCOMPARE(http().post(AuthService::tokenPath, refresh).status, 503);
        // The refused attempts did not use the refresh token up.
        QCOMPARE(http().post(AuthService::tokenPath, refresh).status, 200);
        // Other paths were never affected.
        QCOMPARE(asUser(tokens, "POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    void setFailureLastsUntilCleared()
    {
        const Tokens tokens = signIn();
        server().setFailure(GatewayService::userInfoPath, 500);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(asUser(tokens, "POST", GatewayService::userInfoPath, "{}").status, 500);
        server().clearFailure(GatewayService::userInfoPath);
        QCOMPARE(asUser(tokens, "POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    void cannedResponseIsSentWithoutServing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("body of the wrong shape") << 200 << QByteArray("text/html") << QByteArray("<html>");
        QTest::newRow("empty list") << 200 << QByteArray("application/json")
                                    << QByteArray(R"({"generatedCoachingTips":[]})");
        QTest::newRow("refusal with a body of its own")
            << 429 << QByteArray("application/json") << QByteArray(R"({"retryAfter":3})");
        QTest::newRow("failure shorthand")
            << 503 << QByteArray("application/json") << CannedResponse::failure(503).body;
    }

    void cannedResponseIsSentWithoutServing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);

        const Tokens tokens = signIn();
        server().respondNext(AuthService::tokenPath, CannedResponse{status, contentType, body}, 2);
        const nlohmann::json refresh{{"refreshToken", tokens.refresh.toStdString()}};
        for (int i = 0; i < 2; ++i) {
            const ProbeReply canned = http().post(AuthService::tokenPath, refresh);
            QCOMPARE(canned.status, status);
            QCOMPARE(canned.header("Content-Type"), contentType);
            QCOMPARE(canned.body, body);
        }
        // The endpoint did no work meanwhile: the refresh token was not used up.
        const ProbeReply served = http().post(AuthService::tokenPath, refresh);
        QCOMPARE(served.status, 200);
        QVERIFY(served.json().at("accessToken").is_string());
    }

    void setResponseReplacesWhatWasSetForThePath()
    {
        const Tokens tokens = signIn();
        server().failNext(GatewayService::userInfoPath, 503, 5);
        server().setResponse(GatewayService::userInfoPath,
                             CannedResponse{200, "application/json", R"({"userInfo":{}})"});
        for (int i = 0; i < 6; ++i)
            QCOMPARE(asUser(tokens, "POST", GatewayService::userInfoPath, "{}").body, QByteArray(R"({"userInfo":{}})"));
        server().clearResponse(GatewayService::userInfoPath);
        const ProbeReply served = asUser(tokens, "POST", GatewayService::userInfoPath, "{}");
        QCOMPARE(served.status, 200);
        QVERIFY(served.json().at("userInfo").contains("identityId"));
    }

    void droppedConnectionEndsTheRequestWithoutAnAnswer()
    {
        const Tokens tokens = signIn();
        http().setBearer(tokens.access);
        server().setResponse(GatewayService::userInfoPath, CannedResponse::droppedConnection());

        const ProbeReply dropped = http().send("POST", GatewayService::userInfoPath, "{}");
        QVERIFY(dropped.finished);
        QCOMPARE(dropped.error, QNetworkReply::RemoteHostClosedError);
        QCOMPARE(dropped.status, 0);
        QVERIFY(dropped.body.isEmpty());
        // Meanwhile the server answers everything else.
        QCOMPARE(http().send("GET", GatewayService::preferencesPath).status, 200);

        server().clearResponse(GatewayService::userInfoPath);
        QCOMPARE(http().send("POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    // Qt Network sends a request once more, on a new connection, when its connection drops before any answer.
    void droppingTheNextRequestsCountsTheClientsRetry_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QNetworkReply::NetworkError>("error");
        QTest::addColumn<int>("status");

        QTest::newRow("one: the retry is served") << 1 << QNetworkReply::NoError << 200;
        QTest::newRow("two: the retry is dropped too") << 2 << QNetworkReply::RemoteHostClosedError << 0;
    }

    void droppingTheNextRequestsCountsTheClientsRetry()
    {
        QFETCH(int, count);
        QFETCH(QNetworkReply::NetworkError, error);
        QFETCH(int, status);

        const Tokens tokens = signIn();
        http().setBearer(tokens.access);
        server().respondNext(GatewayService::userInfoPath, CannedResponse::droppedConnection(), count);
        server().clearReceived();

        const ProbeReply reply = http().send("POST", GatewayService::userInfoPath, "{}");
        QCOMPARE(reply.error, error);
        QCOMPARE(reply.status, status);
        QCOMPARE(server().receivedRequests(GatewayService::userInfoPath).size(), 2);
        // The control is used up.
        QCOMPARE(http().send("POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    void hangLeavesTheRequestForTheClientsTimeout()
    {
        const Tokens tokens = signIn();
        server().setHang(GatewayService::userInfoPath, true);
        http().setBearer(tokens.access);
        http().setTimeout(500ms);

        QNetworkReply *hanging = http().start("POST", GatewayService::userInfoPath, "{}");
        QTRY_COMPARE(server().heldRequestCount(), 1);
        // Meanwhile the server answers everything else.
        QCOMPARE(http().send("GET", GatewayService::preferencesPath).status, 200);

        const ProbeReply timedOut = HttpProbe::finish(hanging);
        QVERIFY(timedOut.finished);
        QCOMPARE(timedOut.error, QNetworkReply::OperationCanceledError);
        QCOMPARE(timedOut.status, 0);
        QTRY_COMPARE(server().heldRequestCount(), 0);

        server().setHang(GatewayService::userInfoPath, false);
        QCOMPARE(http().send("POST", GatewayService::userInfoPath, "{}").status, 200);
    }

    void destroyingTheServerDropsHeldRequests()
    {
        server().setHang(AuthService::tokenPath, true);
        QNetworkReply *hanging = http().start("POST", AuthService::tokenPath, R"({"code":"x"})");
        QTRY_COMPARE(server().heldRequestCount(), 1);
        m_server.reset();
        const ProbeReply reply = HttpProbe::finish(hanging);
        QVERIFY(reply.finished);
        QCOMPARE(reply.status, 0);
        QVERIFY(reply.error != QNetworkReply::NoError);
    }

    void recordsEveryRequest()
    {
        QSignalSpy received(&server(), &DevServer::requestReceived);
        http().send("POST", signInPath, R"({"username":"a","password":"b"})", {{"X-Probe", "one"}});
        http().send("GET", QStringLiteral("/missing?x=1"));

        QCOMPARE(received.size(), 2);
        const QList<ReceivedRequest> all = server().receivedRequests();
        QCOMPARE(all.size(), 2);
        const ReceivedRequest &first = all.at(0);
        QCOMPARE(first.method, QByteArray("POST"));
        QCOMPARE(first.path, AuthService::passwordPath);
        QCOMPARE(first.query.queryItemValue(QStringLiteral("realm")), QStringLiteral("tarvelo"));
        QCOMPARE(first.header("x-probe"), QByteArray("one"));
        QCOMPARE(first.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(!first.hasHeader("Authorization"));
        JSON_COMPARE(first.json(), nlohmann::json({{"username", "a"}, {"password", "b"}}));
        QCOMPARE(received.at(0).at(0).value<ReceivedRequest>().path, AuthService::passwordPath);

        QCOMPARE(all.at(1).method, QByteArray("GET"));
        QCOMPARE(all.at(1).path, QStringLiteral("/missing"));
        QCOMPARE(server().receivedRequests(QStringLiteral("/missing")).size(), 1);

        server().clearReceived();
        QVERIFY(server().receivedRequests().isEmpty());
    }

    void requestLogKeepsTheNewestWithinItsLimit()
    {
        DevServerOptions options;
        options.requestLogLimit = 2;
        DevServer small(options);
        QVERIFY(small.listen());
        HttpProbe probe(small.baseUrl());
        for (const char *path : {"/a", "/b", "/c"})
            probe.send("GET", QString::fromLatin1(path));
        const auto kept = small.receivedRequests();
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept.at(0).path, QStringLiteral("/b"));
        QCOMPARE(kept.at(1).path, QStringLiteral("/c"));
    }

    void theRequestLogKeepsAnExcerptOfEachBody()
    {
        const QByteArray large(200 * 1024, 'x');
        http().send("POST", QStringLiteral("/missing"), large);
        const ReceivedRequest record = server().receivedRequests().constLast();
        QCOMPARE(record.bodySize, large.size());
        QCOMPARE(record.body, large.first(DevServerOptions().requestLogBodyBytes));
        QCOMPARE(record.header("Content-Length"), QByteArray::number(large.size()));
    }

    void bodiesAreServedUpToTheirPathsLimit_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<int>("status");

        const qsizetype defaultLimit = DevServerOptions().maxBodyBytes;
        QTest::newRow("unknown path at the limit") << QStringLiteral("/missing") << defaultLimit << 404;
        QTest::newRow("unknown path over the limit") << QStringLiteral("/missing") << defaultLimit + 1 << 413;
        QTest::newRow("sign-in over the limit") << AuthService::passwordPath << defaultLimit + 1 << 413;
        QTest::newRow("analytics batch at its limit")
            << Collector::batchPath() << Collector::kMaxBatchBytes << 401; // served: no write key
        QTest::newRow("analytics batch over its limit")
            << Collector::batchPath() << Collector::kMaxBatchBytes + 1 << 413;
    }

    void bodiesAreServedUpToTheirPathsLimit()
    {
        QFETCH(QString, path);
        QFETCH(qsizetype, size);
        QFETCH(int, status);
        if (status == 413)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused a request: 413")));
        const ProbeReply reply = http().send("POST", path, QByteArray(size, ' '));
        QCOMPARE(reply.status, status);
        QVERIFY(reply.json().at("error").is_string());
        // The server goes on serving, on a new connection.
        QCOMPARE(http().send("GET", QStringLiteral("/missing")).status, 404);
    }

    void aRefusedBodyIsAnsweredBeforeItIsSent_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("headerLines");
        QTest::addColumn<int>("status");

        QTest::newRow("100 MB to an unknown path")
            << QStringLiteral("/missing") << QByteArray("Content-Length: 100000000\r\n") << 413;
        QTest::newRow("an upload over its limit")
            << UploadService::path << "Content-Length: " + QByteArray::number(UploadService::kMaxBodyBytes + 1) + "\r\n"
            << 413;
        QTest::newRow("no declared length")
            << QStringLiteral("/missing") << QByteArray("Transfer-Encoding: chunked\r\n") << 411;
        QTest::newRow("two different lengths")
            << QStringLiteral("/missing") << QByteArray("Content-Length: 1\r\nContent-Length: 2\r\n") << 400;
        QTest::newRow("a negative length") << QStringLiteral("/missing") << QByteArray("Content-Length: -1\r\n") << 400;
    }

    void aRefusedBodyIsAnsweredBeforeItIsSent()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, headerLines);
        QFETCH(int, status);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused a request: %1").arg(status)));

        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server().port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write("POST " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headerLines + "\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("\r\n\r\n{"), 5000);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), answer.constData());
        QVERIFY(answer.contains("\r\nConnection: close\r\n"));
        QVERIFY(server().receivedRequests().isEmpty());
    }

    void uploadSavesTheFileAndRecordsItsParts()
    {
        const Tokens tokens = signIn();
        UploadForm form;
        form.sourceParams = R"({"source":"calendar"})";
        const ProbeReply reply = upload(tokens, form);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.json().at("message").is_string());

        QCOMPARE(server().uploads().size(), 1);
        const ReceivedUpload &received = server().uploads().constFirst();
        QVERIFY(received.savedPath.startsWith(server().uploadDirectory() + QLatin1Char('/')));
        QVERIFY(received.savedPath.endsWith(QStringLiteral("practice_1.m4a")));
        QFile saved(received.savedPath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), form.bytes);

        QByteArrayList names;
        for (const FormPart &part : received.parts)
            names.append(part.name);
        QCOMPARE(names, QByteArrayList({"files", "username", "startTime", "endTime", "sessionType", "sourceParams"}));
        QCOMPARE(received.part("files")->fileName, QStringLiteral("practice_1.m4a"));
        QCOMPARE(received.part("files")->contentType, QByteArray("audio/m4a"));
        QCOMPARE(received.part("username")->body, QByteArray("dev@brelta.test"));
        QVERIFY(!received.part("username")->fileName);
        QCOMPARE(received.part("startTime")->body, form.startTime);
        QCOMPARE(received.part("sessionType")->body, QByteArray("default"));
        QCOMPARE(received.part("sourceParams")->body, *form.sourceParams);
    }

    void uploadRefusesABadForm_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("value");

        QTest::newRow("no file part") << QStringLiteral("withFile") << QByteArray();
        QTest::newRow("unknown session type") << QStringLiteral("sessionType") << QByteArray("practice");
        QTest::newRow("time without offset") << QStringLiteral("startTime") << QByteArray("2026-12-11T09:30:00");
        QTest::newRow("time with fractions") << QStringLiteral("startTime") << QByteArray("2026-12-11T09:30:00.5+0100");
        QTest::newRow("time with a trailing line break")
            << QStringLiteral("endTime") << QByteArray("2026-12-11T09:45:10+0100\n");
        QTest::newRow("impossible date") << QStringLiteral("endTime") << QByteArray("2026-02-30T09:30:00+0100");
        QTest::newRow("end before start") << QStringLiteral("endTime") << QByteArray("2026-12-11T09:29:59+0100");
        QTest::newRow("source parameters not an object") << QStringLiteral("sourceParams") << QByteArray("[\"a\"]");
        QTest::newRow("source parameter not a text") << QStringLiteral("sourceParams") << QByteArray(R"({"n":1})");
        QTest::newRow("source parameters over 64 KB")
            << QStringLiteral("sourceParams")
            << "{\"note\":\"" + QByteArray(UploadService::kMaxTextPartBytes, 'n') + "\"}";
    }

    void uploadRefusesABadForm()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, value);
        UploadForm form;
        if (field == QLatin1String("withFile"))
            form.withFile = false;
        else if (field == QLatin1String("sessionType"))
            form.sessionType = value;
        else if (field == QLatin1String("startTime"))
            form.startTime = value;
        else if (field == QLatin1String("endTime"))
            form.endTime = value;
        else
            form.sourceParams = value;

        const ProbeReply reply = upload(signIn(), form);
        QCOMPARE(reply.status, 400);
        QVERIFY(reply.json().at("error").is_string());
        QVERIFY(server().uploads().isEmpty());
        QVERIFY(QDir(server().uploadDirectory()).isEmpty());
    }

    void uploadKeepsFilesInsideItsFolder()
    {
        const Tokens tokens = signIn();
        UploadForm form;
        form.fileName = "../../escape.m4a";
        QCOMPARE(upload(tokens, form).status, 200);
        form.fileName = "../../escape.m4a";
        QCOMPARE(upload(tokens, form).status, 200);

        const QStringList saved = QDir(server().uploadDirectory()).entryList(QDir::Files);
        QCOMPARE(saved.size(), 2);
        for (const QString &name : saved)
            QVERIFY2(name.endsWith(QStringLiteral("-escape.m4a")) && !name.contains(QLatin1Char('/')),
                     qPrintable(name));
        QVERIFY(saved.at(0) != saved.at(1));
    }

    void uploadTakesALargeRecording()
    {
        UploadForm form;
        form.bytes = QByteArray(30 * 1000 * 1000, '\x5a');
        form.bytes.replace(0, 4, "\r\n--"); // content that looks like a boundary start stays content
        QCOMPARE(upload(signIn(), form).status, 200);
        QFile saved(server().uploads().constFirst().savedPath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.size(), qint64(form.bytes.size()));
        QCOMPARE(saved.readAll(), form.bytes);
    }

    void uploadsGoToTheFolderGiven()
    {
        QTemporaryDir folder;
        DevServerOptions options;
        options.uploadDirectory = folder.filePath(QStringLiteral("uploads/new"));
        DevServer other(options);
        QVERIFY(other.listen());
        HttpProbe probe(other.baseUrl());
        const ProbeReply grant = probe.post(AuthService::tokenPath, {{"code", other.issueSignInCode().toStdString()}});
        probe.setBearer(QString::fromStdString(grant.json().at("accessToken").get<std::string>()));
        QCOMPARE(HttpProbe::finish(probe.startMultipart(UploadService::path, UploadForm().build())).status, 200);
        QCOMPARE(QFileInfo(other.uploads().constFirst().savedPath).absolutePath(), options.uploadDirectory);
    }

    void queuedMessagesAreListedFetchedAndEndedByAnInteraction()
    {
        const Json report = Json::parse(R"({"messageId":"m-1","slot":"report","content":{"meetingReport":
            {"messageTitle":"Your meeting","summary":"Went well","wordsSaid":1200,"meetingDuration":"1800s"}},
            "schedule":{"asap":{}}})");
        const Json text = Json::parse(R"({"messageId":"m-2","content":{"simpleText":{"title":"Hi","body":"There"}},
            "schedule":{"localInterval":{"earliestLocalIso":"2026-12-11T09:00:00"}}})");
        QCOMPARE(server().queueMessage(report), QString());
        QCOMPARE(server().queueMessage(text), QString());

        const Tokens tokens = signIn();
        const QByteArray user = R"("user_id":"dev@brelta.test")";
        ProbeReply listed = asUser(tokens, "POST", MessagingService::listPath, "{" + user + "}");
        QCOMPARE(listed.status, 200);
        QCOMPARE(listed.body, QByteArray(R"({"entries":[{"messageId":"m-1","slot":"report"},{"messageId":"m-2"}]})"));

        const ProbeReply fetched =
            asUser(tokens, "POST", MessagingService::getPath, "{" + user + R"(,"message_id":"m-1"})");
        QCOMPARE(fetched.status, 200);
        QCOMPARE(fetched.body, QByteArray::fromStdString(Json{{"userMessage", report}}.dump()));

        const ProbeReply reported = asUser(tokens, "POST", MessagingService::reportPath, R"({"message_id":"m-1"})");
        QCOMPARE(reported.status, 200);
        QCOMPARE(reported.body, QByteArray("{}"));
        listed = asUser(tokens, "POST", MessagingService::listPath, "{" + user + "}");
        QCOMPARE(listed.body, QByteArray(R"({"entries":[{"messageId":"m-2"}]})"));
        QCOMPARE(asUser(tokens, "POST", MessagingService::getPath, "{" + user + R"(,"message_id":"m-1"})").status, 404);
    }

    // A message queued for one user is listed, fetched and reported only by that user; one without a
    // recipient reaches everyone.
    void messagesReachOnlyTheirRecipient()
    {
        const auto queue = [this](const std::string &id, std::optional<QString> recipient) {
            const Json message{{"messageId", id},
                               {"content", {{"simpleText", {{"title", "T"}, {"body", "B"}}}}},
                               {"schedule", {{"asap", Json::object()}}}};
            QCOMPARE(server().queueMessage(message, recipient), QString());
        };
        queue("m-all", std::nullopt);
        queue("m-dev", QStringLiteral("DEV@brelta.test"));
        queue("m-other", QStringLiteral("other@brelta.test"));
        QCOMPARE(http().post(AuthService::signUpPath, {{"email", "other@brelta.test"}, {"password", "pw1"}}).status,
                 200);
        const Tokens other = exchange(
            {{"code",
              signInRequest(QStringLiteral("other@brelta.test"), QStringLiteral("pw1")).json().value("code", "")}});
        const Tokens dev = signIn();

        const QByteArray devUser = R"("user_id":"dev@brelta.test")";
        QCOMPARE(asUser(dev, "POST", MessagingService::listPath, "{" + devUser + "}").body,
                 QByteArray(R"({"entries":[{"messageId":"m-all"},{"messageId":"m-dev"}]})"));
        QCOMPARE(asUser(other, "POST", MessagingService::listPath, R"({"user_id":"other@brelta.test"})").body,
                 QByteArray(R"({"entries":[{"messageId":"m-all"},{"messageId":"m-other"}]})"));
        const QByteArray fetchOther = Json{{"user_id", "dev@brelta.test"}, {"message_id", "m-other"}}.dump().c_str();
        QCOMPARE(asUser(dev, "POST", MessagingService::getPath, fetchOther).status, 404);
        QCOMPARE(asUser(dev, "POST", MessagingService::reportPath, R"({"message_id":"m-other"})").status, 404);
        QCOMPARE(asUser(other, "POST", MessagingService::reportPath, R"({"message_id":"m-other"})").status, 200);
    }

    void uploadQueuesAMeetingReportForTheUploader()
    {
        const Tokens tokens = signIn();
        QCOMPARE(upload(tokens, UploadForm()).status, 200);

        const QByteArray user = R"("user_id":"dev@brelta.test")";
        const ProbeReply listed = asUser(tokens, "POST", MessagingService::listPath, "{" + user + "}");
        const Json entries = listed.json().at("entries");
        QCOMPARE(entries.size(), size_t(1));
        const std::string id = entries.at(0).at("messageId").get<std::string>();
        const QByteArray fetch = Json{{"user_id", "dev@brelta.test"}, {"message_id", id}}.dump().c_str();
        const ProbeReply fetched = asUser(tokens, "POST", MessagingService::getPath, fetch);
        QCOMPARE(fetched.status, 200);
        const Json message = fetched.json().at("userMessage");
        QVERIFY(message.at("schedule").contains("asap"));
        const Json report = message.at("content").at("meetingReport");
        QCOMPARE(report.at("meetingDuration").get<std::string>(), std::string("910s"));
        QCOMPARE(report.at("meetingTimestamp").get<std::string>(), std::string("2026-12-11T09:30:00+0100"));
        QVERIFY(QString::fromStdString(report.at("dashboardUrl").get<std::string>())
                    .startsWith(server().baseUrl().toString() + QStringLiteral("/coach/sessions")));
    }

    void queueingTheSameIdReplacesTheMessage()
    {
        const Json first = Json::parse(R"({"messageId":"m-1","content":{},"schedule":{}})");
        const Json second =
            Json::parse(R"({"messageId":"m-1","slot":"tips","content":{"eventEndReminder":{}},"schedule":{}})");
        QCOMPARE(server().queueMessage(first), QString());
        QCOMPARE(server().queueMessage(second), QString());
        const ProbeReply listed =
            asUser(signIn(), "POST", MessagingService::listPath, R"({"user_id":"dev@brelta.test"})");
        QCOMPARE(listed.body, QByteArray(R"({"entries":[{"messageId":"m-1","slot":"tips"}]})"));
    }

    void queueMessageRefusesARecordWithoutItsParts_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("not an object") << QByteArray(R"(["m-1"])");
        QTest::newRow("no id") << QByteArray(R"({"content":{},"schedule":{}})");
        QTest::newRow("empty id") << QByteArray(R"({"messageId":"","content":{},"schedule":{}})");
        QTest::newRow("no content") << QByteArray(R"({"messageId":"m-1","schedule":{}})");
        QTest::newRow("schedule not an object") << QByteArray(R"({"messageId":"m-1","content":{},"schedule":"asap"})");
        QTest::newRow("slot a number") << QByteArray(R"({"messageId":"m-1","slot":3,"content":{},"schedule":{}})");
    }

    void queueMessageRefusesARecordWithoutItsParts()
    {
        QFETCH(QByteArray, message);
        QVERIFY(!server().queueMessage(Json::parse(message.toStdString())).isEmpty());
        const ProbeReply listed =
            asUser(signIn(), "POST", MessagingService::listPath, R"({"user_id":"dev@brelta.test"})");
        QCOMPARE(listed.body, QByteArray(R"({"entries":[]})"));
    }

    void preferencesKeepTheUsersChoices()
    {
        const Tokens tokens = signIn();
        nlohmann::json answer = asUser(tokens, "GET", GatewayService::preferencesPath, {}).json();
        JSON_COMPARE(answer.at("userPreferences"), nlohmann::json::object());
        const auto &languages = answer.at("globalLanguageSpecification");
        QVERIFY(languages.at("availableFeebackLanguages").is_array());
        QVERIFY(!languages.contains("availableFeedbackLanguages"));
        JSON_COMPARE(languages.at("defaultFeedbackLanguage"), "en");
        QVERIFY(
            answer.at("globalGoalSpecification").at("availableGoals").at(0).at("humanReadableGoalName").is_string());

        QCOMPARE(asUser(tokens, "PUT", GatewayService::goalsPath, R"({"goals":[]})").status, 200);
        answer = asUser(tokens, "GET", GatewayService::preferencesPath, {}).json();
        JSON_COMPARE(answer.at("userPreferences"), nlohmann::json::parse(R"({"goalPreferences":{"goals":[]}})"));

        QCOMPARE(asUser(tokens, "PUT", GatewayService::goalsPath,
                        R"({"goals":["GOAL_ASK_OPEN_QUESTIONS","GOAL_SPEAK_CONCISELY"]})")
                     .status,
                 200);
        QCOMPARE(asUser(tokens, "PUT", GatewayService::languagePath,
                        R"({"language_preferences":{"feedback_language":"fr"}})")
                     .status,
                 200);
        answer = asUser(tokens, "GET", GatewayService::preferencesPath, {}).json();
        JSON_COMPARE(answer.at("userPreferences"),
                     nlohmann::json::parse(R"({"languagePreferences":{"feedbackLanguage":"fr"},
            "goalPreferences":{"goals":["GOAL_ASK_OPEN_QUESTIONS","GOAL_SPEAK_CONCISELY"]}})"));

        // Another user's choices are their own.
        const ProbeReply signUp =
            http().post(AuthService::signUpPath, {{"email", "b@brelta.test"}, {"password", "pw"}});
        const Tokens other = exchange({{"code", signUp.json().at("authCode")}});
        JSON_COMPARE(asUser(other, "GET", GatewayService::preferencesPath, {}).json().at("userPreferences"),
                     nlohmann::json::object());
    }

    void userInfoNamesTheUserAndTheFeatures()
    {
        const Tokens tokens = signIn();
        JSON_COMPARE(asUser(tokens, "POST", GatewayService::userInfoPath, "{}").json(),
                     nlohmann::json({{"userInfo",
                                      {{"identityId", server().seededUser().id.toStdString()},
                                       {"enabledFeatures", nlohmann::json::array()}}}}));
        server().setEnabledFeatures(
            {QStringLiteral("FEATURE_DEVELOPMENT"), QStringLiteral("FEATURE_USE_EXPERIMENT_AUDIO_RECORDER")});
        JSON_COMPARE(
            asUser(tokens, "POST", GatewayService::userInfoPath, "{}").json().at("userInfo").at("enabledFeatures"),
            nlohmann::json({"FEATURE_DEVELOPMENT", "FEATURE_USE_EXPERIMENT_AUDIO_RECORDER"}));
    }

    void coachingTipsComeInTheNumberAsked()
    {
        const ProbeReply reply =
            asUser(signIn(), "POST", GatewayService::coachingTipsPath, R"({"amount":{"amount_to_generate":"3"}})");
        QCOMPARE(reply.status, 200);
        const auto tips = reply.json().at("generatedCoachingTips");
        QCOMPARE(tips.size(), size_t(3));
        for (const auto &tip : tips)
            QVERIFY(tip.at("tipText").is_string() && !tip.at("tipText").get<std::string>().empty());
        QVERIFY(tips.at(0) != tips.at(1));
    }
};

QTEST_GUILESS_MAIN(TestDevServer)
#include "tst_devserver.moc"
