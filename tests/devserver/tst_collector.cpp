// The local collector's reading of what telemetry clients send: envelopes and batches over real HTTP.
#include "HttpProbe.h"

#include "devserver/DevServer.h"

#include <QRegularExpression>
#include <QTest>

using namespace brelta::devserver;
using namespace brelta::devserver::test;

class TestCollector : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DevServer> m_server;

    Collector &collector() { return m_server->collector(); }

    ProbeReply sendEnvelope(const QByteArray &envelope)
    {
        HttpProbe probe(m_server->baseUrl());
        const QByteArray auth = "Sentry sentry_version=7, sentry_key=" + collector().keys().errorPublicKey.toUtf8();
        return probe.send("POST", collector().envelopePath(), envelope, {{"X-Sentry-Auth", auth}});
    }

    ProbeReply sendBatch(const nlohmann::json &messages)
    {
        HttpProbe probe(m_server->baseUrl());
        const QByteArray auth =
            "Basic " + (collector().keys().analyticsWriteKey + QLatin1Char(':')).toUtf8().toBase64();
        return probe.send("POST", Collector::batchPath(),
                          QByteArray::fromStdString(nlohmann::json{{"batch", messages}}.dump()),
                          {{"Authorization", auth}});
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<DevServer>();
        QVERIFY(m_server->listen());
    }

    void cleanup() { m_server.reset(); }

    void envelopesAreReadItemByItem_data()
    {
        QTest::addColumn<QByteArray>("items"); // after the envelope header line
        QTest::addColumn<int>("itemCount");    // 0: refused
        QTest::addColumn<QString>("reason");   // part of the refusal

        const QByteArray event = R"({"event_id":"e1","level":"error"})";
        const QByteArray length = QByteArray::number(event.size());
        QTest::newRow("event with its length") << R"({"type":"event","length":)" + length + "}\n" + event + "\n"
                                               << 1 << QString();
        QTest::newRow("event without a length") << R"({"type":"event"})"
                                                   "\n" + event
                                                       + "\n"
                                                << 1 << QString();
        QTest::newRow("two items, no final line break") << R"({"type":"event","length":)" + length + "}\n" + event
                                                               + "\n" + R"({"type":"attachment","length":3})" + "\nabc"
                                                        << 2 << QString();
        QTest::newRow("item header as the very last line") << QByteArray(R"({"type":"attachment"})") << 1 << QString();
        QTest::newRow("length past the end")
            << R"({"type":"event","length":)" + QByteArray::number(event.size() + 2) + "}\n" + event << 0
            << "runs past the end";
        QTest::newRow("largest signed length") << R"({"type":"event","length":9223372036854775807})"
                                                  "\n" + event
                                               << 0 << "runs past the end";
        QTest::newRow("largest unsigned length") << R"({"type":"event","length":18446744073709551615})"
                                                    "\n" + event
                                                 << 0 << "runs past the end";
        QTest::newRow("negative length") << R"({"type":"event","length":-1})"
                                            "\n" + event
                                         << 0 << "not a count of bytes";
        QTest::newRow("fractional length") << R"({"type":"event","length":1.5})"
                                              "\n" + event
                                           << 0 << "not a count of bytes";
        QTest::newRow("length beyond double range") << R"({"type":"event","length":1e400})"
                                                       "\n" + event
                                                    << 0 << "number overflow";
        QTest::newRow("event payload that is not JSON") << QByteArray(R"({"type":"event"})"
                                                                      "\n{oops\n")
                                                        << 0 << "parse_error";
    }

    void envelopesAreReadItemByItem()
    {
        QFETCH(QByteArray, items);
        QFETCH(int, itemCount);
        QFETCH(QString, reason);
        if (itemCount == 0)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("collector refused: malformed envelope")));

        const ProbeReply reply = sendEnvelope(R"({"event_id":"e1"})"
                                              "\n"
                                              + items);
        if (itemCount == 0) {
            QCOMPARE(reply.status, 400);
            const QString error = QString::fromStdString(reply.json().at("error").get<std::string>());
            QVERIFY2(error.contains(reason), qPrintable(error));
            QVERIFY(collector().envelopes().isEmpty());
        } else {
            QCOMPARE(reply.status, 200);
            QCOMPARE(collector().envelopes().size(), 1);
            QCOMPARE(collector().envelopes().constFirst().items.size(), itemCount);
        }
    }

    void oneOversizeMessageRefusesItsBatch()
    {
        const nlohmann::json small = {{"type", "track"}, {"event", "Small"}};
        const nlohmann::json large = {{"type", "track"},
                                      {"event", "Large"},
                                      {"properties", {{"text", std::string(Collector::kMaxMessageBytes, 'x')}}}};

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("collector refused: batch message over")));
        QCOMPARE(sendBatch({small, large}).status, 400);
        QVERIFY(collector().batches().isEmpty());

        QCOMPARE(sendBatch({small, small}).status, 200);
        QCOMPARE(collector().batchMessages().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestCollector)
#include "tst_collector.moc"
