#pragma once

#include "calendar/CalendarEvent.h"

#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimeZone>

#include <chrono>
#include <functional>
#include <memory>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::platform {
class ErrorTracker;
class Clock;
class DeadlineTimer;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::calendar {

class CalendarEventsProvider;
class GoogleAuthenticator;
class NudgeScheduler;

struct CalendarManagerServices
{
    GoogleAuthenticator *authenticator = nullptr;
    CalendarEventsProvider *events = nullptr;
    NudgeScheduler *nudges = nullptr;
    // One coaching tip for a nudge: the backend's generateCoachingTip in the app.
    std::function<QCoro::Task<QString>()> coachingTip;
    platform::Clock *clock = nullptr;
    platform::SettingsStore *settings = nullptr;
    // Optional (or set later with setReporting): without them nothing is sent or reported.
    const analytics::AnalyticsManager *analytics = nullptr;
    platform::ErrorTracker *errorTracker = nullptr;
};

// The one owner of the calendar connection: connects and restores the Google account, reads today's
// meetings at once and then hourly (wall-clock deadlines, re-armed on wake), hands each coming meeting's
// nudge to the message engine 30 s before it starts, lets the user switch single nudges off, and owns
// the connect-calendar reminder. Main thread only.
//
// One sync runs at a time; a sync asked for during another runs after it. A sign-out starts a new session:
// work that began before it schedules nothing.
class CalendarManager : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kSyncInterval{3600};
    static constexpr std::chrono::seconds kNudgeLead{30};
    static constexpr std::chrono::seconds kNudgeGrace{600};
    static constexpr std::chrono::seconds kReminderInterval{259200};
    static constexpr std::chrono::seconds kSpedUpReminderInterval{60};
    static inline const QString kReminderCanceledKey = QStringLiteral("isCalendarIntegrationReminderCanceled");
    static inline const QString kReminderSpedUpKey = QStringLiteral("isCalendarIntegrationReminderSpedUp");
    static inline const QString kNudgeBody = QStringLiteral("Click record to let Brelta listen.");

    // Every service must outlive the manager.
    explicit CalendarManager(CalendarManagerServices services, QObject *parent = nullptr);
    ~CalendarManager() override;

    // The zone of the nudges' local times and of "today"; the system's by default.
    void setTimeZone(const QTimeZone &zone) { m_zone = zone; }

    bool isSynced() const { return m_synced; }

    // Where usage events go and failures are reported; both must outlive the manager.
    void setReporting(const analytics::AnalyticsManager *analytics, platform::ErrorTracker *errorTracker)
    {
        m_services.analytics = analytics;
        m_services.errorTracker = errorTracker;
    }

    // Signs in (the browser consent when needed), then syncs at once and every hour. Sign-in failures
    // change nothing; a build without a Google client reports connectFailed.
    void connectCalendar();
    // Restores the stored account without a window; connected, it syncs as after a connect.
    void restore();
    // The user disconnects the calendar: forgets the Google account, stops the sync and cancels the nudges.
    // The connect reminder and its flags stay as they are.
    void disconnectAccount();
    // Sign-out: disconnects the account, and cancels the reminder and clears its flags.
    void disconnectCalendar();
    // The machine woke: deadlines passed in sleep fire once; a connected calendar syncs again.
    void handleWake();

    // Today's meetings from now on; reschedules the nudges. Throws when the calendar cannot be read.
    QCoro::Task<QList<CalendarEvent>> sync(bool onlyUpcoming);
    // The connected calendar's events in a window (from now, until the end of today when absent).
    QCoro::Task<QList<CalendarEvent>> fetchEvents(QDateTime from = {}, QDateTime until = {});

    // Switches one meeting's nudge; true when it is on afterwards.
    bool toggleReminder(const CalendarEvent &event);
    bool hasNudge(const CalendarEvent &event) const;
    static QString reminderId(const QString &eventId);
    static QString eventId(const QString &reminderId);
    QStringList scheduledEventReminderIds() const;

    // The connect-calendar reminder: every three days (60 s when sped up) while nothing is connected.
    void scheduleIntegrationReminder();
    // "Don't remind me": no more reminders until the next sign-out.
    void declineIntegrationReminder();
    bool isIntegrationReminderArmed() const;

signals:
    void syncedChanged(bool synced);
    // A background sync finished.
    void eventsSynced();
    void connectFailed(const QString &message);
    // Google refused the stored grant: the calendar is disconnected.
    void calendarLost(const QString &message);
    void integrationReminderDue();

private:
    struct Nudge
    {
        QString occurrence; // event id + start: a daily series keeps its id
        QDateTime earliest;
    };

    QCoro::Task<> runConnect(quint64 generation);
    QCoro::Task<> runRestore(quint64 generation);
    void startSyncing();
    void stopSyncing();
    void syncInBackground();
    QCoro::Task<QList<CalendarEvent>> runSync(bool onlyUpcoming, quint64 generation);
    QCoro::Task<> scheduleNudge(CalendarEvent event, quint64 generation, quint64 toggle);
    void cancelAllNudges();
    void report(const QString &what, const std::exception_ptr &failure) const;
    bool isEligible(const CalendarEvent &event, bool onlyUpcoming) const;
    QString localText(const QDateTime &instant) const;
    static QString occurrenceOf(const CalendarEvent &event);

    CalendarManagerServices m_services;
    QTimeZone m_zone;
    bool m_synced = false;
    quint64 m_generation = 0;
    bool m_syncRunning = false;
    std::unique_ptr<platform::DeadlineTimer> m_syncTimer;
    std::unique_ptr<platform::DeadlineTimer> m_reminderTimer;

    QStringList m_scheduledIds;        // reminder ids handed to the engine since the last cancellation
    QHash<QString, Nudge> m_nudges;    // reminder id → its occurrence
    QSet<QString> m_shown;             // occurrences whose nudge reached the screen
    QSet<QString> m_ignored;           // event ids the user switched off
    QHash<QString, quint64> m_toggles; // event id → its latest toggle; older toggles give way
    QSet<QString> m_pendingOn;         // event ids switched on, waiting for their tip

signals:
    void syncIdle();
};

} // namespace brelta::calendar
