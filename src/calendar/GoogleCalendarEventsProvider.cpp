#include "calendar/GoogleCalendarEventsProvider.h"

#include "platform/AppError.h"

#include <QCoroNetworkReply>
#include <QCoroSignal>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcEvents, "brelta.calendar.GoogleCalendarEventsProvider")

namespace brelta::calendar {
namespace {

using platform::AppError;

AppError generalError(const QString &message)
{
    return AppError(AppError::Kind::General, message);
}

// Google writes "Z" or a numeric offset and sometimes a fraction; a time without an offset would be read
// as local time, so it is refused rather than guessed.
std::optional<QDateTime> parseDateTime(const nlohmann::json &dateTime)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)(\.\d+)?(Z|[+-]\d\d:\d\d)$)"));
    if (!dateTime.is_string())
        return std::nullopt;
    const QRegularExpressionMatch match = pattern.match(QString::fromStdString(dateTime.get<std::string>()));
    if (!match.hasMatch())
        return std::nullopt;
    // Milliseconds are all this app keeps; longer fractions are cut, not rounded into the next second.
    const QString fraction = match.captured(2).left(4);
    const QDateTime parsed = QDateTime::fromString(match.captured(1) + fraction + match.captured(3), Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toUTC();
}

std::optional<QDateTime> timedInstant(const nlohmann::json &item, const char *key)
{
    const auto boundary = item.find(key);
    if (boundary == item.end() || !boundary->is_object())
        return std::nullopt;
    const auto dateTime = boundary->find("dateTime");
    return dateTime == boundary->end() ? std::nullopt : parseDateTime(*dateTime);
}

bool worthRetrying(const std::optional<int> &status)
{
    return !status || *status == 429 || *status >= 500;
}

} // namespace

GoogleCalendarEventsProvider::GoogleCalendarEventsProvider(GoogleAccess *access, QNetworkAccessManager *network,
                                                           platform::Clock *clock, QUrl calendarApi,
                                                           CalendarRequestPolicy policy, QObject *parent)
    : QObject(parent)
    , m_access(access)
    , m_network(network)
    , m_clock(clock)
    , m_calendarApi(std::move(calendarApi))
    , m_policy(policy)
{}

QString GoogleCalendarEventsProvider::rfc3339(const QDateTime &instant)
{
    return instant.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

std::optional<CalendarEvent> GoogleCalendarEventsProvider::map(const nlohmann::json &item)
{
    if (!item.is_object())
        return std::nullopt;
    const auto uid = item.find("iCalUID");
    if (uid == item.end() || !uid->is_string() || uid->get<std::string>().empty())
        return std::nullopt;
    const std::optional<QDateTime> start = timedInstant(item, "start");
    const std::optional<QDateTime> end = timedInstant(item, "end");
    if (!start || !end)
        return std::nullopt;

    CalendarEvent event;
    event.id = QString::fromStdString(uid->get<std::string>());
    const auto summary = item.find("summary");
    event.title = summary != item.end() && summary->is_string() ? QString::fromStdString(summary->get<std::string>())
                                                                : QStringLiteral("Summary");
    const auto link = item.find("hangoutLink");
    if (link != item.end() && link->is_string()) {
        const QUrl url(QString::fromStdString(link->get<std::string>()), QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty())
            event.eventUrl = url;
    }
    event.startDate = start;
    event.endDate = end;
    return event;
}

QCoro::Task<QList<CalendarEvent>> GoogleCalendarEventsProvider::getEvents(QDateTime from, QDateTime until)
{
    QPointer<GoogleCalendarEventsProvider> self(this);
    QCoro::Task<std::optional<QString>> tokenTask = m_access->accessToken();
    std::optional<QString> token = co_await std::move(tokenTask);
    if (!token)
        throw generalError(QStringLiteral("Could not create google calendar service"));

    QUrl url = m_calendarApi;
    url.setPath(url.path() + QStringLiteral("/calendars/primary/events"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("maxResults"), QStringLiteral("30"));
    query.addQueryItem(QStringLiteral("timeMin"), rfc3339(from));
    query.addQueryItem(QStringLiteral("timeMax"), rfc3339(until));
    query.addQueryItem(QStringLiteral("singleEvents"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("orderBy"), QStringLiteral("startTime"));
    url.setQuery(query);

    bool refreshed = false;
    std::chrono::milliseconds delay = m_policy.firstRetryDelay;
    Attempt attempt;
    for (int tried = 0;;) {
        if (!self)
            throw generalError(QStringLiteral("The calendar was closed during the request"));
        QCoro::Task<Attempt> sending = self->send(url, *token);
        attempt = co_await std::move(sending);
        if (!self)
            throw generalError(QStringLiteral("The calendar was closed during the request"));

        if (attempt.status == 401 && !refreshed) {
            // One refresh per call: a token refused right after a refresh means the grant itself is gone.
            refreshed = true;
            QCoro::Task<std::optional<QString>> refreshing = self->m_access->refreshedAccessToken(*token);
            token = co_await std::move(refreshing);
            if (!token)
                throw generalError(QStringLiteral("Could not create google calendar service"));
            continue;
        }
        ++tried;
        if (!worthRetrying(attempt.status) || tried >= self->m_policy.tries)
            break;
        qCInfo(lcEvents) << "events list failed, trying again in" << delay.count() << "ms";
        QCoro::Task<> waiting = self->wait(delay);
        co_await std::move(waiting);
        if (!self)
            throw generalError(QStringLiteral("The calendar was closed during the request"));
        delay = std::min(delay * 2, self->m_policy.maxRetryDelay);
    }

    if (!attempt.status)
        throw generalError(QStringLiteral("Could not reach Google Calendar: %1").arg(attempt.transportError));
    if (*attempt.status < 200 || *attempt.status > 299)
        throw generalError(QStringLiteral("Google Calendar refused the request (HTTP %1)").arg(*attempt.status));

    const nlohmann::json answer = nlohmann::json::parse(attempt.body.begin(), attempt.body.end(), nullptr, false);
    if (!answer.is_object())
        throw generalError(QStringLiteral("Could not get calendarEntriesResponse"));
    const auto items = answer.find("items");
    if (items == answer.end() || !items->is_array())
        throw generalError(QStringLiteral("Could not get calendarEntriesResponse.items"));

    QList<CalendarEvent> events;
    for (const nlohmann::json &item : *items) {
        if (std::optional<CalendarEvent> event = map(item))
            events.append(std::move(*event));
    }
    co_return events;
}

QCoro::Task<GoogleCalendarEventsProvider::Attempt> GoogleCalendarEventsProvider::send(QUrl url, QString token)
{
    if (!m_network)
        co_return Attempt{std::nullopt, QStringLiteral("no network"), {}};
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setTransferTimeout(int(m_policy.transferTimeout.count()));
    std::unique_ptr<QNetworkReply> reply(m_network->get(request));
    co_await qCoro(reply.get()).waitForFinished();

    Attempt attempt;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        attempt.status = status.toInt();
        attempt.body = reply->readAll();
    } else {
        attempt.transportError = reply->errorString();
    }
    co_return attempt;
}

QCoro::Task<> GoogleCalendarEventsProvider::wait(std::chrono::milliseconds delay)
{
    std::unique_ptr<platform::Timer> timer = m_clock->createTimer();
    timer->start(delay, platform::Timer::Mode::SingleShot);
    co_await qCoro(timer.get(), &platform::Timer::timeout);
}

} // namespace brelta::calendar
