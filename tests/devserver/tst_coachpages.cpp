#include "HttpProbe.h"
#include "devserver/DevServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>
#include <QUrlQuery>

using brelta::devserver::DevServer;

class CoachPagesTest : public QObject
{
    Q_OBJECT

private slots:
    // Each page sends the browser to the program with a fresh code that the token exchange takes once.
    void pagesRedirectWithACodeForTheSeededUser_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("onboarding");
        QTest::newRow("sign-in") << "/coach/auth"
                                 << "";
        QTest::newRow("sign-up: onboarding goes on") << "/coach/signup"
                                                     << "true";
    }

    void pagesRedirectWithACodeForTheSeededUser()
    {
        QFETCH(QString, path);
        QFETCH(QString, onboarding);
        DevServer server;
        QVERIFY(server.listen());
        QNetworkAccessManager network;
        QNetworkRequest request(server.baseUrl().resolved(QUrl(path)));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 302);
        const QUrl target(QString::fromUtf8(reply->rawHeader("Location")));
        QCOMPARE(target.scheme(), QStringLiteral("brelta"));
        QCOMPARE(target.host(), QStringLiteral("app"));
        QCOMPARE(target.path(), QStringLiteral("/auth"));
        const QUrlQuery query(target);
        QCOMPARE(query.queryItemValue(QStringLiteral("onboarding")), onboarding);
        const QString code = query.queryItemValue(QStringLiteral("code"));
        QVERIFY(!code.isEmpty());
        QVERIFY(reply->readAll().contains(target.toEncoded()));

        brelta::devserver::test::HttpProbe probe(server.baseUrl());
        const auto exchanged = probe.post(QStringLiteral("/token"), {{"code", code.toStdString()}});
        QCOMPARE(exchanged.status, 200);
        QCOMPARE(exchanged.json()["identity"]["email"].get<std::string>(), server.seededUser().email.toStdString());
        QCOMPARE(probe.post(QStringLiteral("/token"), {{"code", code.toStdString()}}).status, 401);
    }
};

QTEST_GUILESS_MAIN(CoachPagesTest)
#include "tst_coachpages.moc"
