#pragma once

#include "calendar/CalendarEvent.h"
#include "calendar/GoogleAccess.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>

#include <nlohmann/json.hpp>

#include <chrono>

namespace brelta::calendar {

// Reads the events of a time window from Google Calendar.
class CalendarEventsProvider
{
public:
    virtual ~CalendarEventsProvider() = default;
    virtual QCoro::Task<QList<CalendarEvent>> getEvents(QDateTime from, QDateTime until) = 0;
};

struct CalendarRequestPolicy
{
    int tries = 3;                                   // transport failures, 429 and 5xx are tried again
    std::chrono::milliseconds firstRetryDelay{1000}; // doubled after each try
    std::chrono::milliseconds maxRetryDelay{15000};
    std::chrono::milliseconds transferTimeout{30000};
};

// The primary calendar's events list: at most 30 single occurrences by start time, one page. Timed
// events only; an all-day event has no instant to announce.
class GoogleCalendarEventsProvider : public QObject, public CalendarEventsProvider
{
    Q_OBJECT

public:
    // `calendarApi` is the API's base, such as "https://www.googleapis.com/calendar/v3".
    GoogleCalendarEventsProvider(GoogleAccess *access, QNetworkAccessManager *network, platform::Clock *clock,
                                 QUrl calendarApi, CalendarRequestPolicy policy = {}, QObject *parent = nullptr);

    // Throws platform::AppError: with no connected account before any request, with the request's failure
    // once retries are spent, or when the answer is not an events list.
    QCoro::Task<QList<CalendarEvent>> getEvents(QDateTime from, QDateTime until) override;

    // None for an item that is not a timed event with an iCalendar UID.
    static std::optional<CalendarEvent> map(const nlohmann::json &item);
    // "2024-03-05T13:07:09Z": RFC 3339 in UTC, whole seconds.
    static QString rfc3339(const QDateTime &instant);

private:
    struct Attempt
    {
        std::optional<int> status; // none: no HTTP answer
        QString transportError;
        QByteArray body;
    };

    QCoro::Task<Attempt> send(QUrl url, QString token);
    QCoro::Task<> wait(std::chrono::milliseconds delay);

    GoogleAccess *m_access;
    QPointer<QNetworkAccessManager> m_network;
    platform::Clock *m_clock;
    QUrl m_calendarApi;
    CalendarRequestPolicy m_policy;
};

} // namespace brelta::calendar
