#include "platform/update/AppVersion.h"
#include "platform/update/Appcast.h"
#include "platform/update/UpdateChecker.h"
#include "testsupport/CheckedWait.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>

using namespace brelta::platform::update;
using brelta::testsupport::awaitTask;
using Status = UpdateCheckResult::Status;

Q_DECLARE_METATYPE(Status)

namespace {

QByteArray appcast(const QByteArray &items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:x=\"http://example.org/appcast-ns\">\n<channel><title>Brelta</title>\n"
           + items + "</channel></rss>\n";
}

QByteArray item(const QByteArray &shortVersion, const QByteArray &build, const QByteArray &link)
{
    return "<item><title>Brelta " + shortVersion + "</title><link>" + link + "</link>"
           + "<enclosure url=\"https://downloads.example.org/brelta.tar.gz\" x:version=\"" + build
           + "\" x:shortVersionString=\"" + shortVersion + "\" length=\"1\" type=\"application/octet-stream\"/>"
           + "</item>\n";
}

// Serves one appcast body at /appcast.xml on loopback.
struct FeedServer
{
    FeedServer()
    {
        server.route(QStringLiteral("/appcast.xml"),
                     [this] { return QHttpServerResponse("application/rss+xml", body); });
        if (!tcp.listen(QHostAddress::LocalHost))
            qFatal("the feed server could not listen");
        server.bind(&tcp);
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(tcp.serverPort())); }

    QHttpServer server;
    QTcpServer tcp;
    QByteArray body;
};

} // namespace

class UpdateCheckerTest : public QObject
{
    Q_OBJECT

private slots:
    void versionText_data()
    {
        QTest::addColumn<QString>("shortVersion");
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("expected");
        QTest::newRow("version and build") << "1.4.0"
                                           << "52"
                                           << "1.4.0 (52)";
        QTest::newRow("no build") << "1.4.0"
                                  << ""
                                  << "1.4.0";
        QTest::newRow("no version") << ""
                                    << "52"
                                    << "Unknown";
    }

    void versionText()
    {
        QFETCH(QString, shortVersion);
        QFETCH(QString, build);
        QFETCH(QString, expected);
        QCOMPARE(brelta::platform::update::versionText(shortVersion, build), expected);
    }

    void bundleInfoFallsBackToTheWarningSign()
    {
        QCOMPARE(infoStringOrWarning(QString()), QString::fromUtf8("\u26A0\uFE0F"));
        QCOMPARE(infoStringOrWarning(QString()).size(), 2);
        QCOMPARE(infoStringOrWarning(QStringLiteral("52")), QStringLiteral("52"));
        QVERIFY(!bundleInfoString(BundleInfoKey::ShortVersion).isEmpty());
        QCOMPARE(currentVersion(), bundleInfoString(BundleInfoKey::ShortVersion) + QStringLiteral(" (")
                                       + bundleInfoString(BundleInfoKey::BuildNumber) + QStringLiteral(")"));
    }

    void versionsCompareAsNumbers_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("order"); // -1, 0, 1
        QTest::newRow("1.10 after 1.9") << "1.10"
                                        << "1.9" << 1;
        QTest::newRow("1.4 equals 1.4.0") << "1.4"
                                          << "1.4.0" << 0;
        QTest::newRow("2 after 1.99.99") << "2"
                                         << "1.99.99" << 1;
        QTest::newRow("1.4.0 before 1.4.1") << "1.4.0"
                                            << "1.4.1" << -1;
        QTest::newRow("spaces around are ignored") << " 1.2 "
                                                   << "1.2" << 0;
    }

    void versionsCompareAsNumbers()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, order);
        const auto a = VersionNumber::parse(left);
        const auto b = VersionNumber::parse(right);
        QVERIFY(a && b);
        const auto comparison = *a <=> *b;
        QCOMPARE(comparison < 0 ? -1 : comparison > 0 ? 1 : 0, order);
    }

    void versionsThatAreNotNumbersAreRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("pre-release") << "1.5.0-beta";
        QTest::newRow("empty") << "";
        QTest::newRow("empty part") << "1..2";
        QTest::newRow("prefix") << "v1.2";
        QTest::newRow("other digits") << QString::fromUtf8("١.٢");
        QTest::newRow("too long to be a number") << "1.99999999999999999999";
    }

    void versionsThatAreNotNumbersAreRefused()
    {
        QFETCH(QString, text);
        QVERIFY(!VersionNumber::parse(text));
    }

    void appcastItemsAreRead()
    {
        const AppcastReading reading =
            readAppcast(appcast(item("1.5.0", "60", "https://brelta.example/releases/1.5.0")
                                + "<item><title>child elements</title><x:version>61</x:version>"
                                  "<x:shortVersionString>1.5.1</x:shortVersionString></item>"
                                + "<item><title>no version at all</title></item>"));
        QVERIFY2(reading.error.isEmpty(), qPrintable(reading.error));
        QCOMPARE(reading.items.size(), std::size_t(2));
        QCOMPARE(reading.items[0].shortVersion, QStringLiteral("1.5.0"));
        QCOMPARE(reading.items[0].buildVersion, QStringLiteral("60"));
        QCOMPARE(reading.items[0].page, QUrl(QStringLiteral("https://brelta.example/releases/1.5.0")));
        QCOMPARE(reading.items[1].shortVersion, QStringLiteral("1.5.1"));
        QCOMPARE(reading.items[1].buildVersion, QStringLiteral("61"));
    }

    void unreadableAppcastsAreErrors_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("not XML") << QByteArray("{\"version\": \"9.9\"}");
        QTest::newRow("cut off") << appcast(item("9.0", "1", "https://x.example/")).left(120);
        QTest::newRow("not an rss feed") << QByteArray("<feed><entry/></feed>");
        QTest::newRow("too large") << QByteArray(kMaxAppcastBytes + 1, ' ');
    }

    void unreadableAppcastsAreErrors()
    {
        QFETCH(QByteArray, xml);
        const AppcastReading reading = readAppcast(xml);
        QVERIFY(!reading.error.isEmpty());
        QVERIFY(reading.items.empty());
    }

    void noFeedIsNotConfiguredNeverUpToDate()
    {
        QNetworkAccessManager network;
        UpdateChecker checker(&network, QUrl(), QStringLiteral("1.4.0"), QStringLiteral("52"));
        const auto result = awaitTask(checker.check());
        QVERIFY(result.succeeded());
        QCOMPARE(result.value->status, Status::NotConfigured);
    }

    void checks_data()
    {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QUrl>("page");

        const QUrl page(QStringLiteral("https://brelta.example/releases/1.10.0"));
        QTest::newRow("1.10.0 is newer than 1.4.0")
            << appcast(item("1.9.0", "50", "https://brelta.example/releases/1.9.0")
                       + item("1.10.0", "70", "https://brelta.example/releases/1.10.0"))
            << Status::NewerAvailable << "1.10.0 (70)" << page;
        QTest::newRow("the same version is up to date")
            << appcast(item("1.4.0", "52", "https://x.example/")) << Status::UpToDate << "" << QUrl();
        QTest::newRow("a newer build of the same version")
            << appcast(item("1.4.0", "53", "https://x.example/b53")) << Status::NewerAvailable << "1.4.0 (53)"
            << QUrl(QStringLiteral("https://x.example/b53"));
        QTest::newRow("older only") << appcast(item("1.3.9", "99", "https://x.example/")) << Status::UpToDate << ""
                                    << QUrl();
        QTest::newRow("an empty feed is up to date") << appcast("") << Status::UpToDate << "" << QUrl();
        QTest::newRow("a page that is not https is not offered")
            << appcast(item("2.0", "1", "http://brelta.example/releases/2.0")) << Status::NewerAvailable << "2.0 (1)"
            << QUrl();
        QTest::newRow("a javascript page is not offered")
            << appcast(item("2.0", "1", "javascript:alert(1)")) << Status::NewerAvailable << "2.0 (1)" << QUrl();
        QTest::newRow("items with odd versions are skipped")
            << appcast(item("3.0-beta", "1", "https://x.example/beta") + item("1.5", "1", "https://x.example/1.5"))
            << Status::NewerAvailable << "1.5 (1)" << QUrl(QStringLiteral("https://x.example/1.5"));
        QTest::newRow("garbage fails") << QByteArray("<html>oops") << Status::Failed << "" << QUrl();
    }

    void checks()
    {
        QFETCH(QByteArray, feed);
        QFETCH(Status, status);
        QFETCH(QString, latest);
        QFETCH(QUrl, page);
        FeedServer server;
        server.body = feed;
        QNetworkAccessManager network;
        UpdateChecker checker(&network, server.url(), QStringLiteral("1.4.0"), QStringLiteral("52"));
        const auto result = awaitTask(checker.check());
        QVERIFY(result.succeeded());
        QCOMPARE(result.value->status, status);
        QCOMPARE(result.value->latestVersion, latest);
        QCOMPARE(result.value->page, page);
        QCOMPARE(result.value->error.isEmpty(), status != Status::Failed);
    }

    void unreachableOrUnsafeFeedsFail_data()
    {
        QTest::addColumn<QUrl>("feed");
        QTest::newRow("plain http to another host") << QUrl(QStringLiteral("http://updates.example/appcast.xml"));
        QTest::newRow("not served") << QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml"));
        QTest::newRow("a file") << QUrl(QStringLiteral("file:///etc/passwd"));
    }

    void unreachableOrUnsafeFeedsFail()
    {
        QFETCH(QUrl, feed);
        QNetworkAccessManager network;
        UpdateChecker checker(&network, feed, QStringLiteral("1.4.0"), QStringLiteral("52"), std::chrono::seconds(3));
        const auto result = awaitTask(checker.check());
        QVERIFY(result.succeeded());
        QCOMPARE(result.value->status, Status::Failed);
        QVERIFY(!result.value->error.isEmpty());
    }

    void onlyHttpsPagesOpen_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<bool>("openable");
        QTest::newRow("https") << QUrl(QStringLiteral("https://brelta.example/x")) << true;
        QTest::newRow("http") << QUrl(QStringLiteral("http://brelta.example/x")) << false;
        QTest::newRow("file") << QUrl(QStringLiteral("file:///tmp/x")) << false;
        QTest::newRow("https without a host") << QUrl(QStringLiteral("https:///x")) << false;
    }

    void onlyHttpsPagesOpen()
    {
        QFETCH(QUrl, url);
        QFETCH(bool, openable);
        QCOMPARE(isOpenableWebPage(url), openable);
    }
};

QTEST_GUILESS_MAIN(UpdateCheckerTest)
#include "tst_updatechecker.moc"
