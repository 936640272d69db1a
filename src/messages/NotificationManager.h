#pragma once

#include "backend/records/ApiMessages.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimeZone>

#include <chrono>
#include <memory>
#include <optional>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::platform {
class Clock;
class DeadlineTimer;
class ErrorTracker;
class SettingsStore;
class Timer;
} // namespace brelta::platform

namespace brelta::messages {

class CalendarLookahead;
class MessagesShell;
class NotificationStore;
class RecordingControl;

struct NotificationManagerServices
{
    backend::ApiClient *client = nullptr;
    platform::SettingsStore *settings = nullptr;
    platform::Clock *clock = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    platform::ErrorTracker *errorTracker = nullptr; // may be null: errors are then only logged
    NotificationStore *store = nullptr;
    RecordingControl *recording = nullptr;
};

// The engine of in-app messages: polls the messaging service, routes each new message by its schedule
// (show now, show at its earliest local time, or drop it once its window has passed), keeps one pending
// message per slot, offers coaching tips in working hours and shows every message through one door,
// showMessage(). Main thread only.
//
// One poll runs at a time; a tick during a poll is dropped. signOut() starts a new session: work that
// began before it (a poll, a tip request) touches nothing afterwards.
class NotificationManager : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kDefaultPollInterval{900};

    // Every service must outlive the manager.
    explicit NotificationManager(NotificationManagerServices services, QObject *parent = nullptr);
    ~NotificationManager() override;

    // Until a shell is set, messages are queued but no popover opens.
    void setShell(MessagesShell *shell) { m_shell = shell; }
    // Without a lookahead the coaching tips do not look at the calendar.
    void setCalendarLookahead(CalendarLookahead *lookahead) { m_lookahead = lookahead; }
    // The zone of the messages' local times and of the working hours; the system's by default.
    void setTimeZone(const QTimeZone &zone) { m_zone = zone; }

    // Polling ------------------------------------------------------------------------------------------

    // (Re)starts polling: the first poll comes one interval from now.
    void startMessagesPolling(std::chrono::seconds interval);
    std::optional<std::chrono::seconds> pollInterval() const;
    // One poll. Finishes when its messages are routed; while another poll runs it finishes at once.
    QCoro::Task<> fetchMessages();
    bool isPolling() const;

    // Coaching tips (every 5400 s of wall-clock time) ------------------------------------------------------

    void scheduleCoachingTips();
    // One attempt: working hours, the calendar's coming hour, the backend's tip, then showMessage().
    QCoro::Task<> triggerCoachingTip();

    // Scheduling and showing -----------------------------------------------------------------------------

    // The local-interval rule: schedule for the earliest time, show when within the window, drop when
    // past it or unparsable.
    void processMessage(const backend::ApiMessages::Message &message);
    // Arms the message's timer for `date`; nothing when the id already has one or the date has passed.
    void scheduleNotificationMessage(const QDateTime &date, const backend::ApiMessages::Message &message);
    bool hasScheduledMessage(const QString &messageId) const;
    // Drops a scheduled message and frees its slot; nothing when it has no timer.
    void cancelScheduledMessage(const QString &messageId);
    // Queues the message at the head, records it in the history and as processed, opens the popover.
    // False when it is not shown (a meeting-end reminder while nothing records).
    bool showMessage(const backend::ApiMessages::Message &message);

    QStringList processedMessageIds() const;

    // Session ------------------------------------------------------------------------------------------

    // Stops every timer and forgets the scheduled messages; processed ids and the store stay.
    void stopAllTimers();
    // The first step of a sign-out: work under way is abandoned (it touches nothing afterwards) and the
    // processed ids are forgotten.
    void clearProcessedMessageIds();
    // The user signed out: work under way is abandoned, every timer stops, and the processed ids, the
    // queue and the history are emptied.
    void signOut();
    // The machine woke: timers re-read the wall clock (a scheduled time passed in sleep fires once, and is
    // dropped when its window closed) and polling restarts at 900 s.
    void handleWake();

signals:
    void messageShown(const QString &messageId);

private:
    struct Scheduled;
    enum class Route { Show, Schedule, Drop, Ignore };
    struct Decision
    {
        Route route = Route::Ignore;
        QDateTime date;
    };

    Decision decide(const backend::ApiMessages::Message &message) const;
    std::optional<QDateTime> parseLocal(const QString &text) const;
    void routeMessages(const std::vector<backend::ApiMessages::Message> &messages);
    void onScheduledFired(const QString &messageId);
    void onPollTick();
    bool isHandled(const QString &messageId) const;
    void markProcessed(const QString &messageId);
    void captureError(const std::exception &error) const;

    NotificationManagerServices m_services;
    MessagesShell *m_shell = nullptr;
    CalendarLookahead *m_lookahead = nullptr;
    QTimeZone m_zone;

    std::unique_ptr<platform::Timer> m_pollTimer;
    std::unique_ptr<platform::DeadlineTimer> m_tipTimer;
    QHash<QString, std::shared_ptr<Scheduled>> m_scheduled;
    QHash<QString, QString> m_slots; // slot → id of the message that holds it

    quint64 m_generation = 0;
    std::optional<quint64> m_pollGeneration; // the session whose poll is running
};

} // namespace brelta::messages
