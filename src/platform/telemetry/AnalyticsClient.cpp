#include "platform/telemetry/AnalyticsClient.h"

#include "platform/BuildInfo.h"
#include "platform/Json.h"
#include "platform/telemetry/Delivery.h"

#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QThread>
#include <QTimeZone>
#include <QUuid>

namespace brelta::platform {
namespace {

Q_LOGGING_CATEGORY(lcAnalytics, "brelta.platform.AnalyticsClient")

std::string text(const QString &value)
{
    return value.toStdString();
}

bool isJsonObject(const QByteArray &text)
{
    try {
        return parseJson(text).is_object();
    } catch (const JsonDecodeError &) {
        return false;
    }
}

std::string wireTime(const QDateTime &moment)
{
    return text(moment.toUTC().toString(Qt::ISODateWithMs));
}

nlohmann::ordered_json contextObject()
{
    return {
        {"library", {{"name", "brelta-analytics"}, {"version", buildinfo::kVersion}}},
        {"app",
         {{"name", "Brelta"},
          {"version", buildinfo::kVersion},
          {"build", buildinfo::kBuildNumber},
          {"namespace", buildinfo::kBundleIdentifier}}},
        {"os", telemetry::operatingSystemContext()},
        {"locale", text(QLocale::system().bcp47Name())},
        {"timezone", QTimeZone::systemTimeZoneId().toStdString()},
    };
}

} // namespace

nlohmann::ordered_json toJson(const AnalyticsValue &value)
{
    return std::visit(
        [](const auto &v) -> nlohmann::ordered_json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, QString>)
                return v.toStdString();
            else
                return v;
        },
        value);
}

nlohmann::ordered_json toJson(const AnalyticsProperties &properties)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const auto &[key, value] : properties)
        object[key.toStdString()] = toJson(value);
    return object;
}

AnalyticsClient::AnalyticsClient(AnalyticsConfiguration configuration, QNetworkAccessManager *network, Clock *clock,
                                 QObject *parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_network(network)
    , m_clock(clock)
{
    if (m_configuration.canSend()) {
        m_storageDirectory = m_configuration.storageDirectory.isEmpty()
                                 ? telemetry::defaultStorageDirectory(QStringLiteral("analytics"))
                                 : m_configuration.storageDirectory;
        m_queue = std::make_unique<DiskQueue>(m_storageDirectory + QStringLiteral("/queue"),
                                              m_configuration.maxQueuedMessages);
        loadIdentity();
        m_flushTimer = m_clock->createTimer();
        connect(m_flushTimer.get(), &Timer::timeout, this, &AnalyticsClient::onIntervalElapsed);
        m_flushTimer->start(m_configuration.flushInterval, Timer::Mode::Repeating);
        // What an earlier run could not deliver goes out first.
        if (!m_queue->isEmpty())
            QMetaObject::invokeMethod(this, &AnalyticsClient::flush, Qt::QueuedConnection);
    } else {
        qCDebug(lcAnalytics) << "no write key or host compiled in: analytics messages are only logged";
    }
    if (m_anonymousId.isEmpty())
        m_anonymousId = QUuid::createUuid().toString(QUuid::WithoutBraces);

    if (m_configuration.trackApplicationLifecycleEvents) {
        track(QStringLiteral("Application Opened"),
              {{QStringLiteral("from_background"), false},
               {QStringLiteral("version"), QString::fromLatin1(buildinfo::kVersion)},
               {QStringLiteral("build"), QString::fromLatin1(buildinfo::kBuildNumber)}});
    }
}

AnalyticsClient::~AnalyticsClient()
{
    // The queue is on disk already; a batch cut short here is sent again by the next run.
    if (m_inFlight) {
        m_inFlight->disconnect(this);
        m_inFlight->abort();
        m_inFlight->deleteLater();
    }
}

template<typename Work>
void AnalyticsClient::runOnOwnThread(Work work)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void AnalyticsClient::track(const QString &event, const AnalyticsProperties &properties)
{
    runOnOwnThread([this, event, properties] {
        nlohmann::ordered_json message = baseMessage("track");
        message["event"] = text(event);
        message["properties"] = toJson(properties);
        enqueue(std::move(message));
    });
}

void AnalyticsClient::identify(const QString &userId, const AnalyticsProperties &traits)
{
    runOnOwnThread([this, userId, traits] {
        m_userId = userId;
        saveIdentity();
        nlohmann::ordered_json message = baseMessage("identify");
        message["traits"] = toJson(traits);
        enqueue(std::move(message));
    });
}

void AnalyticsClient::reset()
{
    runOnOwnThread([this] {
        m_userId.clear();
        m_anonymousId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        saveIdentity();
    });
}

int AnalyticsClient::queuedCount() const
{
    return m_queue ? m_queue->size() : 0;
}

nlohmann::ordered_json AnalyticsClient::baseMessage(const char *type) const
{
    nlohmann::ordered_json message = {
        {"type", type},
        {"messageId", text(QUuid::createUuid().toString(QUuid::WithoutBraces))},
        {"timestamp", wireTime(m_clock->now())},
        {"anonymousId", text(m_anonymousId)},
    };
    if (!m_userId.isEmpty())
        message["userId"] = text(m_userId);
    message["context"] = contextObject();
    return message;
}

void AnalyticsClient::enqueue(nlohmann::ordered_json message)
{
    const QByteArray serialised = QByteArray::fromStdString(telemetry::compactJson(message));
    if (!m_queue) {
        qCDebug(lcAnalytics).noquote() << "would send:" << serialised;
        return;
    }
    if (serialised.size() > kMaxMessageBytes) {
        qCWarning(lcAnalytics).noquote() << "not sending the" << QString::fromStdString(message.value("type", ""))
                                         << "message" << QString::fromStdString(message.value("event", "")) << "of"
                                         << serialised.size() << "bytes: a collector takes at most" << kMaxMessageBytes;
        return;
    }
    m_queue->push(serialised);
    if (m_queue->size() >= m_configuration.flushAt && !m_holdingOff)
        flush();
}

void AnalyticsClient::onIntervalElapsed()
{
    if (m_clock->monotonicMs() < m_pausedUntilMs)
        return;
    m_holdingOff = false;
    flush();
}

void AnalyticsClient::flush()
{
    if (!m_queue || m_inFlight || m_queue->isEmpty() || m_clock->monotonicMs() < m_pausedUntilMs)
        return;

    // The stored messages go out byte for byte as they were queued; each is only checked to be a JSON
    // object, a stored file being as untrusted as any input.
    QByteArray messages;
    QStringList ids;
    for (const DiskQueue::Entry &entry : m_queue->front(kMaxBatchMessages)) {
        // Queued before sizes were checked: it would sink the whole batch.
        if (entry.data.size() > kMaxMessageBytes) {
            qCWarning(lcAnalytics) << "queued message" << entry.id << "is over" << kMaxMessageBytes
                                   << "bytes; set aside";
            m_queue->reject(entry.id);
            continue;
        }
        if (!isJsonObject(entry.data)) {
            qCWarning(lcAnalytics) << "queued message" << entry.id << "is not a JSON object; set aside";
            m_queue->reject(entry.id);
            continue;
        }
        if (!ids.isEmpty() && messages.size() + entry.data.size() > kMaxBatchBytes)
            break;
        messages += (ids.isEmpty() ? "" : ",") + entry.data;
        ids.append(entry.id);
    }
    if (ids.isEmpty())
        return;

    const QByteArray body =
        R"({"batch":[)" + messages + R"(],"sentAt":")" + QByteArray::fromStdString(wireTime(m_clock->now())) + R"("})";
    QUrl url = m_configuration.host;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/v1/batch"));
    QNetworkRequest request = telemetry::collectorRequest(url, QByteArrayLiteral("application/json"));
    request.setRawHeader("Authorization", "Basic " + (m_configuration.writeKey + QLatin1Char(':')).toUtf8().toBase64());

    QNetworkReply *reply = m_network->post(request, body);
    m_inFlight = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, ids] { onBatchReplied(reply, ids); });
}

void AnalyticsClient::onBatchReplied(QNetworkReply *reply, const QStringList &ids)
{
    reply->deleteLater();
    m_inFlight = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        for (const QString &id : ids)
            m_queue->remove(id);
        qCDebug(lcAnalytics) << "delivered" << ids.size() << "messages";
        Q_EMIT batchFinished(int(ids.size()), true);
        // More may have piled up while this batch was out.
        if (m_queue->size() >= m_configuration.flushAt)
            flush();
        return;
    }
    if (telemetry::isWorthRetrying(status)) {
        qCWarning(lcAnalytics).noquote() << "batch not delivered, kept for later:" << status << reply->errorString();
        m_holdingOff = true;
        if (const auto pause = telemetry::retryAfter(reply->rawHeader("Retry-After"), m_clock->now())) {
            qCWarning(lcAnalytics) << "the collector asks for a pause of" << pause->count() << "s";
            m_pausedUntilMs = m_clock->monotonicMs() + std::chrono::milliseconds(*pause).count();
        }
    } else {
        qCWarning(lcAnalytics).noquote() << "collector refused a batch of" << ids.size()
                                         << "messages for good:" << status << reply->readAll().left(512);
        for (const QString &id : ids)
            m_queue->reject(id);
    }
    Q_EMIT batchFinished(0, false);
}

QString AnalyticsClient::identityPath() const
{
    return m_storageDirectory + QStringLiteral("/identity.json");
}

void AnalyticsClient::loadIdentity()
{
    QFile file(identityPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const nlohmann::json identity = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    if (!identity.is_object()) {
        qCWarning(lcAnalytics) << "stored analytics identity is not JSON; starting a new one";
        return;
    }
    if (identity.contains("anonymousId") && identity["anonymousId"].is_string())
        m_anonymousId = QString::fromStdString(identity["anonymousId"].get<std::string>());
    if (identity.contains("userId") && identity["userId"].is_string())
        m_userId = QString::fromStdString(identity["userId"].get<std::string>());
}

void AnalyticsClient::saveIdentity() const
{
    if (!m_queue)
        return;
    const nlohmann::ordered_json identity = {{"anonymousId", text(m_anonymousId)}, {"userId", text(m_userId)}};
    QSaveFile file(identityPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::fromStdString(telemetry::compactJson(identity))) < 0
        || !file.commit())
        qCWarning(lcAnalytics) << "cannot store the analytics identity:" << file.errorString();
}

} // namespace brelta::platform
