// The Calendar reader against the fake Google of the local backend: the query it sends, how it maps the
// answer, and which failures it retries and reports in which words.
#include "calendar/GoogleCalendarEventsProvider.h"
#include "devserver/DevServer.h"
#include "platform/AppError.h"
#include "testsupport/CheckedWait.h"

#include <QTest>

using namespace brelta;
using namespace brelta::calendar;
using brelta::devserver::CannedResponse;
using brelta::devserver::DevServer;
using brelta::devserver::GoogleService;
using Json = nlohmann::ordered_json;

namespace {

const QDateTime kFrom(QDate(2024, 3, 5), QTime(13, 7, 9, 450), Qt::UTC);
const QDateTime kUntil(QDate(2024, 3, 6), QTime(0, 0), Qt::OffsetFromUTC, 3600); // 23:00 UTC

class FakeAccess final : public GoogleAccess
{
public:
    explicit FakeAccess(GoogleService &google) : m_google(google) {}

    QCoro::Task<std::optional<QString>> accessToken() override
    {
        if (!connected)
            co_return std::nullopt;
        co_return std::optional<QString>(token); // a copy: GCC 12 moves a member named in co_return
    }
    QCoro::Task<std::optional<QString>> refreshedAccessToken(QString) override
    {
        ++refreshes;
        token = m_google.issueAccessToken();
        co_return std::optional<QString>(token);
    }

    bool connected = true;
    QString token;
    int refreshes = 0;

private:
    GoogleService &m_google;
};

Json timed(const QString &id, const QString &start, const QString &end)
{
    return Json{{"iCalUID", id.toStdString()},
                {"start", {{"dateTime", start.toStdString()}}},
                {"end", {{"dateTime", end.toStdString()}}}};
}

QString describe(const CalendarEvent &event)
{
    return QStringList{event.id, event.title, event.eventUrl ? event.eventUrl->toString() : QStringLiteral("-"),
                       event.startDate ? event.startDate->toString(Qt::ISODateWithMs) : QStringLiteral("-"),
                       event.endDate ? event.endDate->toString(Qt::ISODateWithMs) : QStringLiteral("-")}
        .join(QLatin1Char('|'));
}

} // namespace

class TestCalendarEventsProvider : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DevServer> m_server;
    std::unique_ptr<platform::ManualClock> m_clock;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<FakeAccess> m_access;
    std::unique_ptr<GoogleCalendarEventsProvider> m_provider;

    GoogleService &google() { return m_server->google(); }

    void makeProvider(CalendarRequestPolicy policy = CalendarRequestPolicy())
    {
        QUrl api = m_server->baseUrl();
        api.setPath(GoogleService::calendarApiPath);
        m_provider =
            std::make_unique<GoogleCalendarEventsProvider>(m_access.get(), m_network.get(), m_clock.get(), api, policy);
    }

    // Runs a fetch while the manual clock moves 100 ms every few milliseconds, so backoffs pass.
    using Fetched = testsupport::Awaited<QList<CalendarEvent>>;
    Fetched fetch()
    {
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [this] { m_clock->advance(std::chrono::milliseconds(100)); });
        ticker.start(5);
        return testsupport::awaitTask(m_provider->getEvents(kFrom, kUntil));
    }

    int eventRequests() { return int(m_server->receivedRequests(GoogleService::eventsPath).size()); }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<DevServer>();
        QVERIFY(m_server->listen());
        m_clock = std::make_unique<platform::ManualClock>();
        m_network = std::make_unique<QNetworkAccessManager>();
        m_access = std::make_unique<FakeAccess>(google());
        m_access->token = google().issueAccessToken();
        makeProvider();
    }

    void cleanup()
    {
        m_provider.reset();
        m_access.reset();
        m_network.reset();
        m_server.reset();
    }

    void sendsTheExactQuery()
    {
        const auto fetched = fetch();
        QVERIFY2(fetched.succeeded(), qPrintable(fetched.errorText()));
        QCOMPARE(google().eventsQueries().size(), 1);
        const QList<devserver::ReceivedRequest> requests = m_server->receivedRequests(GoogleService::eventsPath);
        QCOMPARE(requests.constFirst().header("Authorization"), QByteArray("Bearer " + m_access->token.toLatin1()));
        QCOMPARE(requests.constFirst().query.toString(QUrl::FullyDecoded),
                 QStringLiteral("maxResults=30&timeMin=2024-03-05T13:07:09Z&timeMax=2024-03-05T23:00:00Z"
                                "&singleEvents=true&orderBy=startTime"));
    }

    void mapsTheAnswer_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QStringList>("expected");

        auto items = [](std::initializer_list<Json> list) { return QByteArray::fromStdString(Json(list).dump()); };
        Json linked = timed("a", "2024-03-05T14:00:00Z", "2024-03-05T15:00:00Z");
        linked["summary"] = "Standup";
        linked["hangoutLink"] = "https://meet.google.com/abc-defg-hij";
        QTest::newRow("titled with a link")
            << items({linked})
            << QStringList{"a|Standup|https://meet.google.com/abc-defg-hij|2024-03-05T14:00:00.000Z|"
                           "2024-03-05T15:00:00.000Z"};
        QTest::newRow("no summary, no link")
            << items({timed("b", "2024-03-05T14:00:00Z", "2024-03-05T15:00:00Z")})
            << QStringList{"b|Summary|-|2024-03-05T14:00:00.000Z|2024-03-05T15:00:00.000Z"};
        QTest::newRow("offset and long fraction")
            << items({timed("c", "2024-03-05T16:30:00.123456+02:00", "2024-03-05T17:00:00-01:00")})
            << QStringList{"c|Summary|-|2024-03-05T14:30:00.123Z|2024-03-05T18:00:00.000Z"};
        QTest::newRow("all-day dropped")
            << items({Json{{"iCalUID", "d"}, {"start", {{"date", "2024-03-05"}}}, {"end", {{"date", "2024-03-06"}}}},
                      timed("e", "2024-03-05T14:00:00Z", "2024-03-05T15:00:00Z")})
            << QStringList{"e|Summary|-|2024-03-05T14:00:00.000Z|2024-03-05T15:00:00.000Z"};
        QTest::newRow("no uid, or a time without offset, dropped") << items(
            {Json{{"start", {{"dateTime", "2024-03-05T14:00:00Z"}}}, {"end", {{"dateTime", "2024-03-05T15:00:00Z"}}}},
             timed("f", "2024-03-05T14:00:00", "2024-03-05T15:00:00Z")})
                                                                   << QStringList{};
        QTest::newRow("one series, one id")
            << items({timed("daily", "2024-03-05T14:00:00Z", "2024-03-05T14:15:00Z"),
                      timed("daily", "2024-03-05T18:00:00Z", "2024-03-05T18:15:00Z")})
            << QStringList{"daily|Summary|-|2024-03-05T14:00:00.000Z|2024-03-05T14:15:00.000Z",
                           "daily|Summary|-|2024-03-05T18:00:00.000Z|2024-03-05T18:15:00.000Z"};
    }

    void mapsTheAnswer()
    {
        QFETCH(QByteArray, items);
        QFETCH(QStringList, expected);
        google().setEvents(Json::parse(items.toStdString()).get<std::vector<Json>>());
        const auto fetched = fetch();
        QVERIFY2(fetched.succeeded(), qPrintable(fetched.errorText()));
        QStringList described;
        for (const CalendarEvent &event : *fetched.value)
            described << describe(event);
        QCOMPARE(described, expected);
    }

    void thirtyOneEventsGiveTheFirstThirty()
    {
        std::vector<Json> events;
        for (int i = 30; i >= 0; --i) { // handed over in reverse: the order must come from the start times
            const QDateTime start = kFrom.addSecs(60 * (i + 1));
            events.push_back(
                timed(QString::number(i), start.toString(Qt::ISODate), start.addSecs(30).toString(Qt::ISODate)));
        }
        google().setEvents(events);
        const auto fetched = fetch();
        QVERIFY2(fetched.succeeded(), qPrintable(fetched.errorText()));
        QCOMPARE(fetched.value->size(), 30);
        QCOMPARE(fetched.value->constFirst().id, QStringLiteral("0"));
        QCOMPARE(fetched.value->constLast().id, QStringLiteral("29"));
        QCOMPARE(eventRequests(), 1);
    }

    void failuresAreReportedExactly_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("error");

        QTest::newRow("not JSON") << 200 << QByteArray("<html>hi</html>") << 1
                                  << "Could not get calendarEntriesResponse";
        QTest::newRow("JSON but not an object")
            << 200 << QByteArray("[]") << 1 << "Could not get calendarEntriesResponse";
        QTest::newRow("no items") << 200 << QByteArray(R"({"etag":"x"})") << 1
                                  << "Could not get calendarEntriesResponse.items";
        QTest::newRow("items not a list")
            << 200 << QByteArray(R"({"items":{}})") << 1 << "Could not get calendarEntriesResponse.items";
        QTest::newRow("403 not retried") << 403 << QByteArray(R"({"error":"quota"})") << 1
                                         << "Google Calendar refused the request (HTTP 403)";
        QTest::newRow("429 retried") << 429 << QByteArray() << 3 << "Google Calendar refused the request (HTTP 429)";
        QTest::newRow("503 retried") << 503 << QByteArray() << 3 << "Google Calendar refused the request (HTTP 503)";
    }

    void failuresAreReportedExactly()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, requests);
        QFETCH(QString, error);
        m_server->setResponse(GoogleService::eventsPath,
                              CannedResponse{status, QByteArrayLiteral("application/json"), body, {}, false});
        const auto fetched = fetch();
        QVERIFY(fetched.threw());
        QCOMPARE(fetched.errorText(), error);
        QCOMPARE(eventRequests(), requests);
    }

    void retriesBackOffOnTheClock()
    {
        QList<qint64> sentAt;
        connect(m_server.get(), &DevServer::requestReceived, this, [&](const devserver::ReceivedRequest &request) {
            if (request.path == GoogleService::eventsPath)
                sentAt << m_clock->monotonicMs();
        });
        m_server->failNext(GoogleService::eventsPath, 500, 2);
        google().setEvents({timed("a", "2024-03-05T14:00:00Z", "2024-03-05T15:00:00Z")});
        const auto fetched = fetch();
        QVERIFY2(fetched.succeeded(), qPrintable(fetched.errorText()));
        QCOMPARE(fetched.value->size(), 1);
        QCOMPARE(sentAt.size(), 3);
        // A timer never fires early, so the lower bounds are exact; the upper one leaves room for the
        // clock moving on while a request is in flight.
        QVERIFY2(sentAt.at(1) - sentAt.at(0) >= 1000, qPrintable(QString::number(sentAt.at(1) - sentAt.at(0))));
        QVERIFY2(sentAt.at(2) - sentAt.at(1) >= 2000, qPrintable(QString::number(sentAt.at(2) - sentAt.at(1))));
        QVERIFY(sentAt.at(2) - sentAt.at(0) < 16000);
    }

    void aStalledTransferTimesOut()
    {
        makeProvider(CalendarRequestPolicy{2, std::chrono::milliseconds(1000), std::chrono::milliseconds(15000),
                                           std::chrono::milliseconds(200)});
        m_server->setHang(GoogleService::eventsPath, true);
        const auto fetched = fetch();
        QVERIFY(fetched.threw());
        QVERIFY2(fetched.errorText().startsWith(QStringLiteral("Could not reach Google Calendar: ")),
                 qPrintable(fetched.errorText()));
        QCOMPARE(eventRequests(), 2);
    }

    void aRefusedTokenIsRefreshedOnce()
    {
        google().expireAccessTokens();
        const auto fetched = fetch();
        QVERIFY2(fetched.succeeded(), qPrintable(fetched.errorText()));
        QCOMPARE(m_access->refreshes, 1);
        QCOMPARE(eventRequests(), 2);

        m_server->setFailure(GoogleService::eventsPath, 401); // refused even after the refresh
        const auto refused = fetch();
        QCOMPARE(refused.errorText(), QStringLiteral("Google Calendar refused the request (HTTP 401)"));
        QCOMPARE(m_access->refreshes, 2);
    }

    void noAccountFailsBeforeAnyRequest()
    {
        m_access->connected = false;
        const auto fetched = fetch();
        QCOMPARE(fetched.errorText(), QStringLiteral("Could not create google calendar service"));
        QCOMPARE(eventRequests(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCalendarEventsProvider)
#include "tst_calendareventsprovider.moc"
