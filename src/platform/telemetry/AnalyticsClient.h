#pragma once

#include "platform/Clock.h"
#include "platform/telemetry/AnalyticsProperties.h"
#include "platform/telemetry/DiskQueue.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace brelta::platform {

struct AnalyticsConfiguration
{
    // The project's write key and the collector's base URL ("https://api.segment.io"); events go to
    // <host>/v1/batch. With either empty nothing leaves the machine: messages are logged at debug level.
    QString writeKey;
    QUrl host;
    // Send once this many messages wait, and otherwise every flushInterval.
    int flushAt = 20;
    std::chrono::milliseconds flushInterval = std::chrono::seconds(30);
    // "Application Opened" when the client starts.
    bool trackApplicationLifecycleEvents = false;
    // Unsent messages and the identity live here; empty = the application's data folder.
    QString storageDirectory;
    int maxQueuedMessages = 1000;

    bool canSend() const { return !writeKey.isEmpty() && host.isValid() && !host.isEmpty(); }
};

// The analytics client: queues track and identify messages on disk and posts them in batches to a
// collector that speaks the widely used HTTP batch-tracking protocol (POST /v1/batch, the write key as
// basic-auth user). Messages that cannot be delivered stay queued, across restarts, until they can.
// A collector that answers with Retry-After gets no request before that time.
//
// track, identify and reset may be called from any thread and return at once; the work happens on the
// thread that owns the client.
class AnalyticsClient : public QObject
{
    Q_OBJECT

public:
    AnalyticsClient(AnalyticsConfiguration configuration, QNetworkAccessManager *network, Clock *clock,
                    QObject *parent = nullptr);
    ~AnalyticsClient() override;

    void track(const QString &event, const AnalyticsProperties &properties);
    void identify(const QString &userId, const AnalyticsProperties &traits);
    // Forgets the user: later messages carry a new anonymous id and no user id.
    void reset();

    // Sends what waits now (one request at a time; a request in flight is not doubled), unless the
    // collector asked for a pause that is not over.
    void flush();

    const AnalyticsConfiguration &configuration() const { return m_configuration; }
    int queuedCount() const;
    QString userId() const { return m_userId; }
    QString anonymousId() const { return m_anonymousId; }

    // The message cap per request; a collector refuses larger batches.
    static constexpr int kMaxBatchMessages = 100;
    static constexpr qsizetype kMaxBatchBytes = 450 * 1024;
    // A collector refuses a whole batch that holds one message over this size (as compact JSON), so a
    // larger message is refused when it is queued and never travels with others.
    static constexpr qsizetype kMaxMessageBytes = 32 * 1024;

Q_SIGNALS:
    // One batch request ended: `delivered` messages were accepted (0 when the request failed).
    void batchFinished(int delivered, bool succeeded);

private:
    void enqueue(nlohmann::ordered_json message);
    void onIntervalElapsed();
    void onBatchReplied(QNetworkReply *reply, const QStringList &ids);
    nlohmann::ordered_json baseMessage(const char *type) const;
    void loadIdentity();
    void saveIdentity() const;
    QString identityPath() const;

    template<typename Work>
    void runOnOwnThread(Work work);

    const AnalyticsConfiguration m_configuration;
    QNetworkAccessManager *const m_network;
    Clock *const m_clock;
    std::unique_ptr<DiskQueue> m_queue; // absent when nothing may be sent
    std::unique_ptr<Timer> m_flushTimer;
    QPointer<QNetworkReply> m_inFlight;
    // After a failed request, wait for the next interval instead of retrying on every new message.
    bool m_holdingOff = false;
    qint64 m_pausedUntilMs = 0; // asked for by the collector, on the clock's monotonic time
    QString m_storageDirectory;
    QString m_anonymousId;
    QString m_userId;
};

} // namespace brelta::platform
