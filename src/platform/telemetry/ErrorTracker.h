#pragma once

#include "platform/Clock.h"
#include "platform/telemetry/DiskQueue.h"
#include "platform/telemetry/ErrorEnvelope.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace brelta::platform {

class HangWatchdog;

struct ErrorTrackerOptions
{
    // The client-key URL of the error-ingest project. Empty: reports are logged at debug level only.
    QString dsn;
    // Kept for the deployment's configuration; this client records no performance traces.
    double tracesSampleRate = 0.0;
    // Report the thread that created the tracker (the main thread) when it is blocked longer than this.
    bool enableAppHangTracking = false;
    std::chrono::milliseconds appHangTimeout = std::chrono::seconds(2);
    QString environment = QStringLiteral("production");
    bool enabled = true;
    // Log every report at debug level, also when it is sent.
    bool debug = false;
    // Write a report when the process dies of a fatal signal; the next start sends it.
    bool installCrashHandler = true;
    // Pending reports and crash reports live here; empty = the application's data folder.
    QString storageDirectory;
    int maxPendingReports = 50;
    std::chrono::milliseconds firstRetryDelay = std::chrono::seconds(30);
    std::chrono::milliseconds maxRetryDelay = std::chrono::hours(1);
};

// The error-tracking client. Reports travel as envelopes of the common error-ingest protocol to the
// project named by the DSN, so a self-hosted collector works as well as the hosted service. Every
// report is written to disk before it is sent and removed once the collector accepted it, so reports
// made while offline, or just before a crash, go out on a later start.
//
// The capture functions and setUser may be called from any thread and never block on the network.
class ErrorTracker : public QObject
{
    Q_OBJECT

public:
    enum class Level { Debug, Info, Warning, Error, Fatal };

    // Starts the client: sends what earlier runs left (their crash reports included) and, with a DSN,
    // installs the crash handler and, when asked, the hang watchdog. Reports the collector did not take
    // are tried again after 30 s, doubling up to an hour, on `clock`. When the collector asks for a pause
    // (a 429 answer, or a rate limit on error events in any answer) nothing is sent until it is over.
    ErrorTracker(ErrorTrackerOptions options, QNetworkAccessManager *network, Clock *clock, QObject *parent = nullptr);
    ~ErrorTracker() override;

    // The exception's dynamic type becomes the report's type, what() its value.
    void captureError(const std::exception &error);
    void captureError(const QString &type, const QString &description);
    void captureMessage(const QString &message, Level level = Level::Info);

    // The user later reports name, a crash report included; nothing = no user.
    void setUser(const std::optional<QString> &userId);

    const ErrorTrackerOptions &options() const { return m_options; }
    bool canSend() const { return m_outbox != nullptr; }
    int pendingCount() const { return m_outbox ? m_outbox->size() : 0; }

    QString crashReportDirectory() const;

Q_SIGNALS:
    // One envelope request ended.
    void envelopeFinished(bool delivered);

private:
    nlohmann::ordered_json baseEvent(Level level) const;
    // Stores the event for sending; false when it could not be kept.
    bool submit(const nlohmann::ordered_json &event);
    void sendPending();
    void onEnvelopeReplied(QNetworkReply *reply, const QString &id);
    // The pause the collector asked for with this answer, if any.
    std::optional<std::chrono::milliseconds> requestedPause(QNetworkReply *reply, int status) const;
    void collectCrashReports();
    void reportHang(std::chrono::milliseconds blockedFor);

    const ErrorTrackerOptions m_options;
    QNetworkAccessManager *const m_network;
    Clock *const m_clock;
    std::optional<Dsn> m_dsn;
    QString m_storageDirectory;
    std::unique_ptr<DiskQueue> m_outbox; // absent when nothing may be sent
    QPointer<QNetworkReply> m_inFlight;
    std::unique_ptr<Timer> m_retryTimer;
    std::chrono::milliseconds m_retryDelay{0};
    qint64 m_pausedUntilMs = 0; // on the clock's monotonic time
    mutable QMutex m_userMutex;
    std::optional<QString> m_userId;
    std::unique_ptr<HangWatchdog> m_watchdog;
};

} // namespace brelta::platform
