#pragma once

#include "devserver/DevServer.h"
#include "platform/Clock.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"

#include <QAtomicInt>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>

namespace brelta::testsupport {

// What a telemetry test needs: the local backend on a free port (for its collector), a storage folder,
// a clock the test advances and a network access manager.
struct TelemetryFixture
{
    devserver::DevServer server;
    devserver::Collector &collector = server.collector();
    QTemporaryDir storage;
    platform::ManualClock clock;
    QNetworkAccessManager network;

    TelemetryFixture() { server.listen(); }

    QUrl baseUrl() const { return server.baseUrl(); }
    QString dsn() const { return collector.errorDsn(baseUrl()); }

    // Sends to the collector after 3 queued messages or every 10 s.
    platform::AnalyticsConfiguration analyticsConfiguration() const
    {
        platform::AnalyticsConfiguration configuration;
        configuration.writeKey = collector.keys().analyticsWriteKey;
        configuration.host = baseUrl();
        configuration.flushAt = 3;
        configuration.flushInterval = std::chrono::seconds(10);
        configuration.storageDirectory = storage.path() + QStringLiteral("/analytics");
        return configuration;
    }

    // Sends to the collector; no crash handler unless a test asks for one.
    platform::ErrorTrackerOptions errorOptions() const
    {
        platform::ErrorTrackerOptions options;
        options.dsn = dsn();
        options.storageDirectory = storage.path() + QStringLiteral("/errors");
        options.installCrashHandler = false;
        return options;
    }
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
