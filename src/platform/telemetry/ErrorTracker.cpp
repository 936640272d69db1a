#include "platform/telemetry/ErrorTracker.h"

#include "platform/BuildInfo.h"
#include "platform/telemetry/CrashHandler.h"
#include "platform/telemetry/Delivery.h"
#include "platform/telemetry/HangWatchdog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cxxabi.h>
#include <typeinfo>

namespace brelta::platform {
namespace {

Q_LOGGING_CATEGORY(lcErrors, "brelta.platform.ErrorTracker")

std::string text(const QString &value)
{
    return value.toStdString();
}

const char *levelName(ErrorTracker::Level level)
{
    switch (level) {
    case ErrorTracker::Level::Debug:
        return "debug";
    case ErrorTracker::Level::Info:
        return "info";
    case ErrorTracker::Level::Warning:
        return "warning";
    case ErrorTracker::Level::Error:
        return "error";
    case ErrorTracker::Level::Fatal:
        return "fatal";
    }
    return "error";
}

QString release()
{
    return QStringLiteral("%1@%2+%3")
        .arg(QLatin1String(buildinfo::kBundleIdentifier), QLatin1String(buildinfo::kVersion),
             QLatin1String(buildinfo::kBuildNumber));
}

QString clientName()
{
    return QStringLiteral("brelta.native/%1").arg(QLatin1String(buildinfo::kVersion));
}

QString typeName(const std::type_info &type)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     &std::free);
    return QString::fromLatin1(status == 0 && name ? name.get() : type.name());
}

// The "exception" member of an event: one handled exception of `type` with `value`.
nlohmann::ordered_json exceptionList(const QString &type, const QString &value, const char *mechanism)
{
    const nlohmann::ordered_json exception = {
        {"type", text(type)}, {"value", text(value)}, {"mechanism", {{"type", mechanism}, {"handled", true}}}};
    return {{"values", nlohmann::ordered_json::array({exception})}};
}

} // namespace

ErrorTracker::ErrorTracker(ErrorTrackerOptions options, QNetworkAccessManager *network, Clock *clock, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_network(network)
    , m_clock(clock)
{
    if (!m_options.enabled)
        return;
    m_storageDirectory = m_options.storageDirectory.isEmpty()
                             ? telemetry::defaultStorageDirectory(QStringLiteral("errors"))
                             : m_options.storageDirectory;
    m_dsn = Dsn::parse(m_options.dsn);
    if (!m_dsn) {
        if (m_options.dsn.isEmpty())
            qCDebug(lcErrors) << "no DSN compiled in: error reports are only logged";
        else
            qCWarning(lcErrors) << "the compiled-in DSN is malformed: error reports are only logged";
    } else {
        m_outbox =
            std::make_unique<DiskQueue>(m_storageDirectory + QStringLiteral("/outbox"), m_options.maxPendingReports);
        m_retryTimer = clock->createTimer();
        connect(m_retryTimer.get(), &Timer::timeout, this, &ErrorTracker::sendPending);
        collectCrashReports();
        if (m_options.installCrashHandler
            && !CrashHandler::install(crashReportDirectory(), {release(), m_options.environment}))
            qCWarning(lcErrors) << "cannot install the crash handler";
        if (!m_outbox->isEmpty())
            QMetaObject::invokeMethod(this, &ErrorTracker::sendPending, Qt::QueuedConnection);
    }
    if (m_options.enableAppHangTracking) {
        m_watchdog = std::make_unique<HangWatchdog>(
            m_options.appHangTimeout, [this](std::chrono::milliseconds blockedFor) { reportHang(blockedFor); });
    }
}

ErrorTracker::~ErrorTracker()
{
    m_watchdog.reset();
    if (m_outbox && m_options.installCrashHandler)
        CrashHandler::uninstall();
    if (m_inFlight) {
        m_inFlight->disconnect(this);
        m_inFlight->abort();
        m_inFlight->deleteLater();
    }
}

QString ErrorTracker::crashReportDirectory() const
{
    return m_storageDirectory + QStringLiteral("/crashes");
}

void ErrorTracker::captureError(const std::exception &error)
{
    captureError(typeName(typeid(error)), QString::fromUtf8(error.what()));
}

void ErrorTracker::captureError(const QString &type, const QString &description)
{
    nlohmann::ordered_json event = baseEvent(Level::Error);
    event["exception"] = exceptionList(type, description, "generic");
    submit(event);
}

void ErrorTracker::captureMessage(const QString &message, Level level)
{
    nlohmann::ordered_json event = baseEvent(level);
    event["logentry"] = {{"message", text(message)}};
    submit(event);
}

void ErrorTracker::setUser(const std::optional<QString> &userId)
{
    QMutexLocker lock(&m_userMutex);
    m_userId = userId;
    if (m_outbox && m_options.installCrashHandler)
        CrashHandler::setUser(userId);
}

nlohmann::ordered_json ErrorTracker::baseEvent(Level level) const
{
    nlohmann::ordered_json event = {
        {"event_id", text(newEventId())},
        {"timestamp", text(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs))},
        {"platform", "native"},
        {"level", levelName(level)},
        {"logger", "brelta"},
        {"release", text(release())},
        {"environment", text(m_options.environment)},
    };
    {
        QMutexLocker lock(&m_userMutex);
        if (m_userId)
            event["user"] = {{"id", text(*m_userId)}};
    }
    return event;
}

bool ErrorTracker::submit(const nlohmann::ordered_json &event)
{
    if (!m_options.enabled)
        return false;
    nlohmann::ordered_json complete = event;
    complete["sdk"] = {{"name", "brelta.native"}, {"version", buildinfo::kVersion}};
    complete["contexts"] = {
        {"os", telemetry::operatingSystemContext()},
        {"app",
         {{"app_identifier", buildinfo::kBundleIdentifier},
          {"app_version", buildinfo::kVersion},
          {"app_build", buildinfo::kBuildNumber}}},
    };
    if (!m_outbox || m_options.debug)
        qCDebug(lcErrors).noquote() << (m_outbox ? "sending:" : "would send:")
                                    << QByteArray::fromStdString(telemetry::compactJson(complete));
    if (!m_outbox)
        return false;
    if (m_outbox->push(envelopeForEvent(complete, m_options.dsn)).isEmpty())
        return false;
    QMetaObject::invokeMethod(this, &ErrorTracker::sendPending, Qt::QueuedConnection);
    return true;
}

void ErrorTracker::sendPending()
{
    // During a pause the retry timer is set for its end.
    if (!m_outbox || m_inFlight || m_clock->monotonicMs() < m_pausedUntilMs)
        return;
    const QList<DiskQueue::Entry> next = m_outbox->front(1);
    if (next.isEmpty())
        return;
    QNetworkRequest request =
        telemetry::collectorRequest(m_dsn->envelopeUrl, QByteArrayLiteral("application/x-sentry-envelope"));
    request.setRawHeader("X-Sentry-Auth", m_dsn->authHeader(clientName()));
    QNetworkReply *reply = m_network->post(request, next.first().data);
    m_inFlight = reply;
    const QString id = next.first().id;
    connect(reply, &QNetworkReply::finished, this, [this, reply, id] { onEnvelopeReplied(reply, id); });
}

void ErrorTracker::onEnvelopeReplied(QNetworkReply *reply, const QString &id)
{
    reply->deleteLater();
    m_inFlight = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::optional<std::chrono::milliseconds> pause = requestedPause(reply, status);
    if (pause) {
        qCWarning(lcErrors) << "the collector asks for a pause of" << pause->count() / 1000 << "s";
        m_pausedUntilMs = m_clock->monotonicMs() + pause->count();
        m_retryTimer->start(*pause, Timer::Mode::SingleShot);
    }
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        m_outbox->remove(id);
        m_retryDelay = std::chrono::milliseconds(0);
        Q_EMIT envelopeFinished(true);
        sendPending();
        return;
    }
    if (!telemetry::isWorthRetrying(status)) {
        qCWarning(lcErrors).noquote() << "collector refused an error report for good:" << status
                                      << reply->readAll().left(512);
        m_outbox->reject(id);
    } else if (!pause) {
        m_retryDelay =
            m_retryDelay.count() == 0 ? m_options.firstRetryDelay : std::min(m_retryDelay * 2, m_options.maxRetryDelay);
        qCWarning(lcErrors).noquote() << "error report not delivered, trying again in" << m_retryDelay.count() / 1000
                                      << "s:" << status << reply->errorString();
        m_retryTimer->start(m_retryDelay, Timer::Mode::SingleShot);
    }
    // After a pause the collector asked for, its timer sends the report again.
    Q_EMIT envelopeFinished(false);
}

std::optional<std::chrono::milliseconds> ErrorTracker::requestedPause(QNetworkReply *reply, int status) const
{
    // Without a word on how long, a 429 means a minute.
    constexpr std::chrono::seconds kUnsaidPause(60);
    std::optional<std::chrono::seconds> pause;
    if (reply->hasRawHeader("X-Sentry-Rate-Limits"))
        pause = errorRateLimit(reply->rawHeader("X-Sentry-Rate-Limits"));
    if (!pause && status == 429)
        pause = telemetry::retryAfter(reply->rawHeader("Retry-After"), m_clock->now()).value_or(kUnsaidPause);
    if (!pause || pause->count() <= 0)
        return std::nullopt;
    return std::min<std::chrono::milliseconds>(*pause, m_options.maxRetryDelay);
}

void ErrorTracker::collectCrashReports()
{
    const QDir directory(crashReportDirectory());
    const QStringList names =
        directory.entryList({QLatin1Char('*') + QLatin1String(CrashHandler::kReportSuffix)}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = directory.filePath(name);
        QFile file(path);
        std::optional<CrashReport> report;
        if (file.open(QIODevice::ReadOnly))
            report = CrashReport::parse(file.readAll());
        file.close();
        if (!report) {
            qCWarning(lcErrors) << "crash report" << path << "cannot be read; set aside";
            QFile::rename(path, path + QStringLiteral(".rejected"));
            continue;
        }
        nlohmann::ordered_json event = report->toEvent(newEventId());
        event["logger"] = "brelta";
        qCInfo(lcErrors) << "the previous run crashed with signal" << report->signal << "; reporting it";
        // The report file stays until its envelope is safely in the outbox.
        if (submit(event))
            QFile::remove(path);
    }
}

void ErrorTracker::reportHang(std::chrono::milliseconds blockedFor)
{
    qCWarning(lcErrors) << "the main thread has been blocked for" << blockedFor.count() << "ms";
    nlohmann::ordered_json event = baseEvent(Level::Error);
    event["exception"] = exceptionList(
        QStringLiteral("App Hanging"),
        QStringLiteral("App hanging for at least %1 ms.").arg(m_options.appHangTimeout.count()), "AppHang");
    submit(event);
}

} // namespace brelta::platform
