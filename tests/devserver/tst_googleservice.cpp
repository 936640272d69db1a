// The fake Google: consent, token exchange and the events list, spoken to over real HTTP.
#include "HttpProbe.h"

#include "devserver/DevServer.h"

#include <QCryptographicHash>
#include <QTest>

using namespace brelta::devserver;
using namespace brelta::devserver::test;

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
const QByteArray kVerifier = "a-verifier-that-is-long-enough-to-be-accepted-by-anyone-0123456789";
const QString kRedirect = QStringLiteral("http://127.0.0.1:45678/");

QString challengeOf(const QByteArray &verifier)
{
    return QString::fromLatin1(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url));
}

QByteArray form(const QList<QPair<QString, QString>> &fields)
{
    QByteArray body;
    for (const auto &[key, value] : fields)
        body += (body.isEmpty() ? "" : "&") + QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    return body;
}

Json timed(const char *id, const char *start, const char *end)
{
    return Json{{"iCalUID", id}, {"start", {{"dateTime", start}}}, {"end", {{"dateTime", end}}}};
}

} // namespace

class TestGoogleService : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DevServer> m_server;

    GoogleService &google() { return m_server->google(); }

    QUrlQuery consentQuery() const
    {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
        query.addQueryItem(QStringLiteral("client_id"), GoogleService::devClientId);
        query.addQueryItem(QStringLiteral("redirect_uri"), kRedirect);
        query.addQueryItem(QStringLiteral("scope"), QStringLiteral("openid email ") + GoogleService::calendarScope);
        query.addQueryItem(QStringLiteral("code_challenge"), challengeOf(kVerifier));
        query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
        query.addQueryItem(QStringLiteral("state"), QStringLiteral("st/ate+1"));
        return query;
    }

    // The consent page's answer without following its redirect: the status and the Location.
    std::pair<int, QUrl> consent(const QUrlQuery &query)
    {
        QNetworkAccessManager network;
        QUrl url = m_server->baseUrl();
        url.setPath(GoogleService::authPath);
        url.setQuery(query.toString(QUrl::FullyEncoded), QUrl::StrictMode);
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        const ProbeReply reply = HttpProbe::finish(network.get(request));
        return {reply.status, QUrl::fromEncoded(reply.header("Location"), QUrl::StrictMode)};
    }

    QString consentCode()
    {
        const auto [status, location] = consent(consentQuery());
        return status == 302 ? QUrlQuery(location).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded)
                             : QString();
    }

    ProbeReply postToken(const QByteArray &body)
    {
        HttpProbe probe(m_server->baseUrl());
        return probe.send("POST", GoogleService::tokenPath, body,
                          {{"Content-Type", "application/x-www-form-urlencoded"}});
    }

    ProbeReply exchange(const QString &code, const QByteArray &verifier = kVerifier,
                        const QString &redirect = kRedirect)
    {
        return postToken(form({{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                               {QStringLiteral("client_id"), GoogleService::devClientId},
                               {QStringLiteral("code"), code},
                               {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)},
                               {QStringLiteral("redirect_uri"), redirect}}));
    }

    ProbeReply listEvents(const QString &bearer, const QString &query)
    {
        HttpProbe probe(m_server->baseUrl());
        probe.setBearer(bearer);
        return probe.send("GET", GoogleService::eventsPath + QLatin1Char('?') + query);
    }

    QString accessToken()
    {
        const ProbeReply reply = exchange(consentCode());
        return QString::fromStdString(reply.json().value("access_token", std::string()));
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<DevServer>();
        QVERIFY(m_server->listen());
    }

    void cleanup() { m_server.reset(); }

    void consentRedirectsBackWithStateAndCode()
    {
        const auto [status, location] = consent(consentQuery());
        QCOMPARE(status, 302);
        QCOMPARE(location.adjusted(QUrl::RemoveQuery).toString(), kRedirect);
        const QUrlQuery back(location);
        QCOMPARE(back.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded), QStringLiteral("st/ate+1"));
        const QString code = back.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        QVERIFY(code.contains(QLatin1Char('/')) && code.contains(QLatin1Char('+')));
        // Sent encoded, so a client that forgets to decode it sends a code the token endpoint refuses.
        QVERIFY(location.toEncoded().contains("%2F") && location.toEncoded().contains("%2B"));
        QCOMPARE(google().authorizationCount(), 1);
    }

    void consentRefusesBadRequests_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("status");

        QTest::newRow("unknown client") << "client_id"
                                        << "someone-else" << 401;
        QTest::newRow("remote redirect") << "redirect_uri"
                                         << "http://example.com:8080/" << 400;
        QTest::newRow("https loopback redirect") << "redirect_uri"
                                                 << "https://127.0.0.1:8080/" << 400;
        QTest::newRow("no calendar scope") << "scope"
                                           << "openid email" << 400;
        QTest::newRow("plain challenge") << "code_challenge_method"
                                         << "plain" << 400;
        QTest::newRow("short challenge") << "code_challenge"
                                         << "abc" << 400;
    }

    void consentRefusesBadRequests()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, status);
        QUrlQuery query = consentQuery();
        query.removeAllQueryItems(key);
        query.addQueryItem(key, value);
        QCOMPARE(consent(query).first, status);
        QCOMPARE(google().authorizationCount(), 0);
    }

    void consentControls()
    {
        google().setDenyConsent(true);
        auto [status, location] = consent(consentQuery());
        QCOMPARE(status, 302);
        QCOMPARE(QUrlQuery(location).queryItemValue(QStringLiteral("error")), QStringLiteral("access_denied"));
        QVERIFY(!QUrlQuery(location).hasQueryItem(QStringLiteral("code")));

        google().setDenyConsent(false);
        google().setDropCalendarScope(true);
        const ProbeReply granted = exchange(consentCode());
        QCOMPARE(granted.status, 200);
        QCOMPARE(granted.json().value("scope", std::string()), std::string("openid email"));
    }

    void tokenExchange_data()
    {
        QTest::addColumn<QByteArray>("verifier");
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<bool>("encodeCode"); // false: the raw code, "+" and all, as a double-encoding fault sends it
        QTest::addColumn<QByteArray>("error");

        QTest::newRow("matching") << kVerifier << kRedirect << true << QByteArray();
        QTest::newRow("wrong verifier") << QByteArray("not-the-verifier") << kRedirect << true
                                        << QByteArray("invalid_grant");
        QTest::newRow("no verifier") << QByteArray() << kRedirect << true << QByteArray("invalid_grant");
        QTest::newRow("other redirect") << kVerifier << "http://127.0.0.1:1/" << true
                                        << QByteArray("redirect_uri_mismatch");
        QTest::newRow("code sent unencoded") << kVerifier << kRedirect << false << QByteArray("invalid_grant");
    }

    void tokenExchange()
    {
        QFETCH(QByteArray, verifier);
        QFETCH(QString, redirect);
        QFETCH(bool, encodeCode);
        QFETCH(QByteArray, error);
        google().setAccountEmail(QStringLiteral("someone@example.com"));
        const QString code = consentCode();
        QVERIFY(!code.isEmpty());

        QByteArray body = form({{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                {QStringLiteral("client_id"), GoogleService::devClientId},
                                {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)},
                                {QStringLiteral("redirect_uri"), redirect}});
        body += "&code=" + (encodeCode ? QUrl::toPercentEncoding(code) : code.toLatin1());
        const ProbeReply reply = postToken(body);

        if (!error.isEmpty()) {
            QCOMPARE(reply.status, 400);
            QCOMPARE(reply.json().value("error", std::string()), error.toStdString());
            return;
        }
        QCOMPARE(reply.status, 200);
        const nlohmann::json json = reply.json();
        QVERIFY(!json.value("access_token", std::string()).empty());
        QVERIFY(!json.value("refresh_token", std::string()).empty());
        const QList<QByteArray> idToken = QByteArray::fromStdString(json.value("id_token", std::string())).split('.');
        QCOMPARE(idToken.size(), 3);
        const QByteArray claims = QByteArray::fromBase64(idToken.at(1), kBase64Url);
        QCOMPARE(nlohmann::json::parse(claims.begin(), claims.end()).at("email").get<std::string>(),
                 std::string("someone@example.com"));
        QCOMPARE(exchange(code).status, 400); // a code is good for one exchange
    }

    void refreshUntilRevoked()
    {
        const ProbeReply granted = exchange(consentCode());
        const QString refreshToken = QString::fromStdString(granted.json().value("refresh_token", std::string()));
        const QByteArray refresh = form({{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                         {QStringLiteral("client_id"), GoogleService::devClientId},
                                         {QStringLiteral("refresh_token"), refreshToken}});
        const ProbeReply refreshed = postToken(refresh);
        QCOMPARE(refreshed.status, 200);
        QVERIFY(!refreshed.json().contains("refresh_token"));
        QVERIFY(!refreshed.json().value("id_token", std::string()).empty());

        google().revokeGrants();
        const ProbeReply revoked = postToken(refresh);
        QCOMPARE(revoked.status, 400);
        QCOMPARE(revoked.json().value("error", std::string()), std::string("invalid_grant"));
    }

    void eventsNeedAValidBearer()
    {
        const QString query = QStringLiteral("timeMin=2024-03-05T00:00:00Z&timeMax=2024-03-06T00:00:00Z");
        QCOMPARE(listEvents(QString(), query).status, 401);
        QCOMPARE(listEvents(QStringLiteral("made-up"), query).status, 401);
        const QString token = accessToken();
        QCOMPARE(listEvents(token, query).status, 200);
        google().expireAccessTokens();
        QCOMPARE(listEvents(token, query).status, 401);
        QCOMPARE(google().eventsQueries().size(), 1);
    }

    void eventsServeTheWindowInOrder()
    {
        google().setEvents(
            {timed("late", "2024-03-05T15:00:00Z", "2024-03-05T16:00:00Z"),
             timed("ended-at-min", "2024-03-05T09:00:00Z", "2024-03-05T10:00:00Z"),
             timed("offset", "2024-03-05T12:00:00+01:00", "2024-03-05T11:30:00Z"),
             timed("starts-at-max", "2024-03-05T18:00:00Z", "2024-03-05T19:00:00Z"),
             Json{{"iCalUID", "all-day"}, {"start", {{"date", "2024-03-05"}}}, {"end", {{"date", "2024-03-06"}}}},
             timed("early", "2024-03-05T09:30:00.500Z", "2024-03-05T10:30:00Z")});
        const QString token = accessToken();
        const QString window = QStringLiteral("timeMin=2024-03-05T10:00:00Z&timeMax=2024-03-05T18:00:00Z");

        auto ids = [&](const QString &query) {
            QStringList seen;
            const nlohmann::json answer = listEvents(token, query).json();
            for (const auto &item : answer.at("items"))
                seen << QString::fromStdString(item.at("iCalUID").get<std::string>());
            return seen;
        };
        QCOMPARE(ids(window), QStringList({"all-day", "early", "offset", "late"}));
        QCOMPARE(ids(window + QStringLiteral("&maxResults=2")), QStringList({"all-day", "early"}));
        QCOMPARE(google().eventsQueries().constLast().queryItemValue(QStringLiteral("maxResults")),
                 QStringLiteral("2"));
        QCOMPARE(listEvents(token, QStringLiteral("timeMin=yesterday&timeMax=2024-03-05T18:00:00Z")).status, 400);
    }

    void demoDayFillsTheCalendarAtTheFirstConsentOnly()
    {
        // A server without the option keeps an empty calendar through a consent.
        QVERIFY(!accessToken().isEmpty());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString today = QStringLiteral("timeMin=%1&timeMax=%2")
                                  .arg(now.toString(Qt::ISODate), now.addSecs(86400).toString(Qt::ISODate));
        QVERIFY(listEvents(google().issueAccessToken(), today).json().at("items").empty());

        DevServer::Options options;
        options.demoCalendarDay = true;
        m_server = std::make_unique<DevServer>(options);
        QVERIFY(m_server->listen());
        const QString token = accessToken();
        const nlohmann::json items = listEvents(token, today).json().at("items");
        QStringList ids;
        for (const auto &item : items)
            ids << QString::fromStdString(item.at("iCalUID").get<std::string>());
        QVERIFY2(ids.size() >= 3, qPrintable(ids.join(QLatin1Char(' '))));
        QVERIFY(ids.contains(QStringLiteral("demo-now@demo.brelta.test")));
        QVERIFY(ids.contains(QStringLiteral("demo-soon@demo.brelta.test")));
        for (const auto &item : items) {
            if (item.at("iCalUID") != "demo-soon@demo.brelta.test")
                continue;
            QCOMPARE(QString::fromStdString(item.at("hangoutLink").get<std::string>()).left(24),
                     QStringLiteral("https://meet.google.com/"));
            const QDateTime start = QDateTime::fromString(
                QString::fromStdString(item.at("start").at("dateTime").get<std::string>()), Qt::ISODate);
            QVERIFY(qAbs(now.secsTo(start) - 180) <= 5);
        }

        // A later consent leaves what is there: the user's own changes stay.
        google().setEvents({});
        QVERIFY(!accessToken().isEmpty());
        QVERIFY(listEvents(token, today).json().at("items").empty());
    }

    void demoDayShape()
    {
        const QDateTime now(QDate(2024, 3, 5), QTime(10, 0), Qt::LocalTime);
        const std::vector<Json> day = GoogleService::demoDay(now);
        QCOMPARE(day.size(), size_t(4));
        int timed = 0;
        for (const Json &event : day) {
            if (event.at("start").contains("date")) {
                QCOMPARE(QString::fromStdString(event.at("start").at("date").get<std::string>()),
                         QStringLiteral("2024-03-05"));
                continue;
            }
            ++timed;
            const QDateTime start = QDateTime::fromString(
                QString::fromStdString(event.at("start").at("dateTime").get<std::string>()), Qt::ISODate);
            QVERIFY(start.isValid());
            QCOMPARE(start.toLocalTime().date(), now.date());
        }
        QCOMPARE(timed, 3);
    }
};

QTEST_GUILESS_MAIN(TestGoogleService)
#include "tst_googleservice.moc"
