#pragma once

#include "devserver/DevServer.h"

#include <QAtomicInt>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QUrl>

namespace brelta::testsupport {

// The local backend on a free port, for its analytics and error-ingest collector.
struct CollectorFixture
{
    devserver::DevServer server;
    devserver::Collector &collector = server.collector();

    CollectorFixture() { server.listen(); }

    QUrl baseUrl() const { return server.baseUrl(); }
    QString writeKey() const { return collector.keys().analyticsWriteKey; }
    QString dsn() const { return collector.errorDsn(baseUrl()); }
};

// A local URL where nothing listens: a collector that is offline.
inline QUrl unreachableUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

// A JSON value as text, for QCOMPARE: a string as it is, anything else as compact JSON ("1", "false").
inline QString jsonText(const nlohmann::json &value)
{
    return QString::fromStdString(value.is_string() ? value.get<std::string>() : value.dump());
}

// A real network access manager that counts the requests it is asked to make, for tests that prove
// nothing was sent.
class CountingNetworkAccessManager : public QNetworkAccessManager
{
public:
    int requestCount() const { return m_requests.loadRelaxed(); }

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request, QIODevice *data) override
    {
        m_requests.fetchAndAddRelaxed(1);
        return QNetworkAccessManager::createRequest(operation, request, data);
    }

private:
    QAtomicInt m_requests;
};

} // namespace brelta::testsupport
