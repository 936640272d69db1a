#include "calendar/CalendarManager.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/DeadlineTimer.h"
#include "platform/SettingsStore.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/recorders/RecorderErrors.h"

#include <QCoroSignal>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcCalendar, "brelta.calendar.CalendarManager")

namespace brelta::calendar {
namespace {

using platform::AppError;

} // namespace

CalendarManager::CalendarManager(CalendarManagerServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_zone(QTimeZone::systemTimeZone())
    , m_syncTimer(std::make_unique<platform::DeadlineTimer>(m_services.clock))
    , m_reminderTimer(std::make_unique<platform::DeadlineTimer>(m_services.clock))
{
    connect(m_syncTimer.get(), &platform::DeadlineTimer::fired, this, [this] {
        m_syncTimer->start(m_services.clock->now().addSecs(kSyncInterval.count()));
        syncInBackground();
    });
    connect(m_reminderTimer.get(), &platform::DeadlineTimer::fired, this, [this] {
        const bool spedUp = m_services.settings->boolValue(kReminderSpedUpKey).value_or(false);
        m_reminderTimer->start(
            m_services.clock->now().addSecs((spedUp ? kSpedUpReminderInterval : kReminderInterval).count()));
        if (!m_synced && !m_services.settings->boolValue(kReminderCanceledKey).value_or(false))
            emit integrationReminderDue();
    });
    connect(m_services.authenticator, &GoogleAuthenticator::accountLost, this, [this](const QString &message) {
        if (!m_synced)
            return;
        ++m_generation;
        stopSyncing();
        cancelAllNudges();
        report(QStringLiteral("Google access"), std::make_exception_ptr(AppError(AppError::Kind::General, message)));
        emit calendarLost(message);
    });
}

CalendarManager::~CalendarManager() = default;

void CalendarManager::connectCalendar()
{
    runConnect(m_generation);
}

QCoro::Task<> CalendarManager::runConnect(quint64 generation)
{
    QPointer<CalendarManager> self(this);
    try {
        QCoro::Task<> signingIn = m_services.authenticator->signIn();
        co_await std::move(signingIn);
    } catch (const AppError &error) {
        if (self && error.message() == GoogleAuthenticator::kNoClientMessage)
            emit self->connectFailed(error.message());
        qCInfo(lcCalendar) << "Google sign-in ended without a connection:" << error.message();
        co_return;
    } catch (const std::exception &error) {
        qCInfo(lcCalendar) << "Google sign-in ended without a connection:" << error.what();
        co_return;
    }
    if (!self || generation != self->m_generation)
        co_return;
    self->startSyncing();
}

void CalendarManager::restore()
{
    runRestore(m_generation);
}

QCoro::Task<> CalendarManager::runRestore(quint64 generation)
{
    QPointer<CalendarManager> self(this);
    QCoro::Task<bool> restoring = m_services.authenticator->trySilentSignIn();
    const bool restored = co_await std::move(restoring);
    if (!restored || !self || generation != self->m_generation)
        co_return;
    self->startSyncing();
}

void CalendarManager::startSyncing()
{
    m_reminderTimer->stop();
    m_syncTimer->start(m_services.clock->now().addSecs(kSyncInterval.count()));
    if (!m_synced) {
        m_synced = true;
        emit syncedChanged(true);
    }
    syncInBackground();
}

void CalendarManager::stopSyncing()
{
    m_syncTimer->stop();
    if (m_synced) {
        m_synced = false;
        emit syncedChanged(false);
    }
}

void CalendarManager::disconnectAccount()
{
    ++m_generation;
    m_services.authenticator->signOut();
    stopSyncing();
    cancelAllNudges();
    m_pendingOn.clear();
}

void CalendarManager::disconnectCalendar()
{
    disconnectAccount();
    m_reminderTimer->stop();
    m_services.settings->setBool(kReminderCanceledKey, false);
    m_services.settings->setBool(kReminderSpedUpKey, false);
}

void CalendarManager::handleWake()
{
    m_reminderTimer->rearm();
    if (m_synced) {
        // A sync now, and the hourly deadline from here, so a long sleep does not bring two.
        m_syncTimer->start(m_services.clock->now().addSecs(kSyncInterval.count()));
        syncInBackground();
    } else {
        restore();
    }
}

void CalendarManager::syncInBackground()
{
    [](QPointer<CalendarManager> self) -> QCoro::Task<> {
        try {
            QCoro::Task<QList<CalendarEvent>> syncing = self->sync(false);
            co_await std::move(syncing);
            if (self)
                emit self->eventsSynced();
        } catch (...) {
            if (self)
                self->report(QStringLiteral("calendar sync"), std::current_exception());
        }
    }(QPointer<CalendarManager>(this));
}

QCoro::Task<QList<CalendarEvent>> CalendarManager::sync(bool onlyUpcoming)
{
    QPointer<CalendarManager> self(this);
    while (m_syncRunning) {
        co_await qCoro(this, &CalendarManager::syncIdle);
        if (!self)
            throw AppError(AppError::Kind::General, QStringLiteral("The calendar was closed."));
    }
    m_syncRunning = true;
    std::exception_ptr failure;
    QList<CalendarEvent> events;
    try {
        QCoro::Task<QList<CalendarEvent>> running = runSync(onlyUpcoming, m_generation);
        events = co_await std::move(running);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        self->m_syncRunning = false;
        emit self->syncIdle();
    }
    if (failure)
        std::rethrow_exception(failure);
    co_return events;
}

QCoro::Task<QList<CalendarEvent>> CalendarManager::runSync(bool onlyUpcoming, quint64 generation)
{
    QPointer<CalendarManager> self(this);
    if (m_services.analytics)
        m_services.analytics->send(analytics::event::SyncGoogleCalendarEvents{});
    QCoro::Task<QList<CalendarEvent>> fetching = fetchEvents();
    QList<CalendarEvent> events = co_await std::move(fetching);
    if (!self || generation != self->m_generation)
        co_return events;

    QList<CalendarEvent> kept;
    for (const CalendarEvent &event : events) {
        if (self->isEligible(event, onlyUpcoming))
            kept.append(event);
    }
    self->cancelAllNudges();
    for (const CalendarEvent &event : kept) {
        if (!self || generation != self->m_generation)
            break;
        QCoro::Task<> scheduling = self->scheduleNudge(event, generation, 0);
        co_await std::move(scheduling);
    }
    co_return events;
}

QCoro::Task<QList<CalendarEvent>> CalendarManager::fetchEvents(QDateTime from, QDateTime until)
{
    if (!m_services.authenticator->hasAccount())
        throw AppError(AppError::Kind::General, QStringLiteral("Could not Google Sign in"));
    const QDateTime now = m_services.clock->now();
    if (!from.isValid())
        from = now;
    if (!until.isValid())
        until = QDateTime(now.toTimeZone(m_zone).date(), QTime(23, 59, 59), m_zone);
    QCoro::Task<QList<CalendarEvent>> reading = m_services.events->getEvents(from, until);
    co_return co_await std::move(reading);
}

bool CalendarManager::isEligible(const CalendarEvent &event, bool onlyUpcoming) const
{
    const QDateTime now = m_services.clock->now();
    if (m_ignored.contains(event.id))
        return false;
    if (event.endDate && *event.endDate < now)
        return false;
    if (!onlyUpcoming || !event.startDate || !event.endDate)
        return true;
    return now < *event.startDate;
}

QCoro::Task<> CalendarManager::scheduleNudge(CalendarEvent event, quint64 generation, quint64 toggle)
{
    if (!event.startDate)
        co_return;
    QPointer<CalendarManager> self(this);
    QString tip;
    try {
        QCoro::Task<QString> asking = m_services.coachingTip();
        tip = co_await std::move(asking);
    } catch (...) {
        if (self) {
            self->report(QStringLiteral("coaching tip for a nudge (the nudge is left out)"), std::current_exception());
            if (toggle)
                self->m_pendingOn.remove(event.id);
        }
        co_return;
    }
    // The user, a sign-out or a newer toggle may have changed their mind while the tip was on its way.
    if (!self || generation != self->m_generation || self->m_ignored.contains(event.id))
        co_return;
    if (toggle) {
        if (self->m_toggles.value(event.id) != toggle)
            co_return;
        self->m_pendingOn.remove(event.id);
    }
    const QString occurrence = occurrenceOf(event);
    if (self->m_shown.contains(occurrence))
        co_return;

    const QString id = reminderId(event.id);
    const QDateTime earliest = event.startDate->addSecs(-kNudgeLead.count());
    backend::ApiMessages::Message message;
    message.messageId = id;
    backend::ApiMessages::EventStartReminderMessageContent content;
    content.title = event.title;
    content.body = kNudgeBody;
    content.tip = tip;
    if (event.eventUrl)
        content.googleMeetUrl = event.eventUrl->toString(QUrl::FullyEncoded);
    message.content.eventStartReminder = content;
    backend::ApiMessages::LocalIntervalMessageSchedule window;
    window.earliestLocalIso = self->localText(earliest);
    window.latestLocalIso = self->localText(event.startDate->addSecs(kNudgeGrace.count()));
    message.schedule.localInterval = window;

    self->m_services.nudges->processMessage(message);
    if (self->m_services.analytics) {
        // The meeting's title stays on this machine.
        analytics::event::SchedulePreMeetingNudge scheduled;
        scheduled.eventName = QStringLiteral("<unknown>");
        scheduled.eventStartTime = window.earliestLocalIso;
        self->m_services.analytics->send(scheduled);
    }
    self->m_scheduledIds.append(id);
    self->m_nudges.insert(id, Nudge{occurrence, earliest});
    // Within its window the engine shows it at once: never again for this occurrence.
    if (self->m_services.clock->now() >= earliest)
        self->m_shown.insert(occurrence);
}

void CalendarManager::report(const QString &what, const std::exception_ptr &failure) const
{
    const QString description = recording::describeFailure(failure);
    qCWarning(lcCalendar).noquote() << what << "failed:" << description;
    if (m_services.errorTracker)
        m_services.errorTracker->captureError(QStringLiteral("CalendarError"),
                                              what + QStringLiteral(": ") + description);
}

void CalendarManager::cancelAllNudges()
{
    const QDateTime now = m_services.clock->now();
    for (const QString &id : std::as_const(m_scheduledIds)) {
        const auto nudge = m_nudges.constFind(id);
        // Its time came while scheduled: the engine has shown it.
        if (nudge != m_nudges.cend() && now >= nudge->earliest)
            m_shown.insert(nudge->occurrence);
        m_services.nudges->cancelScheduledMessage(id);
    }
    m_scheduledIds.clear();
    m_nudges.clear();
}

bool CalendarManager::toggleReminder(const CalendarEvent &event)
{
    const QString id = reminderId(event.id);
    const quint64 toggle = ++m_toggles[event.id];
    if (m_scheduledIds.contains(id) || m_pendingOn.contains(event.id)) {
        m_services.nudges->cancelScheduledMessage(id);
        m_scheduledIds.removeAll(id);
        m_nudges.remove(id);
        m_pendingOn.remove(event.id);
        m_ignored.insert(event.id);
        return false;
    }
    m_ignored.remove(event.id);
    m_pendingOn.insert(event.id);
    scheduleNudge(event, m_generation, toggle);
    return true;
}

bool CalendarManager::hasNudge(const CalendarEvent &event) const
{
    return m_scheduledIds.contains(reminderId(event.id)) || m_pendingOn.contains(event.id);
}

QStringList CalendarManager::scheduledEventReminderIds() const
{
    return m_scheduledIds;
}

QString CalendarManager::reminderId(const QString &eventId)
{
    return QStringLiteral("event;") + eventId + QStringLiteral(";start");
}

QString CalendarManager::eventId(const QString &reminderId)
{
    const QStringList parts = reminderId.split(QLatin1Char(';'));
    return parts.size() < 3 ? QString() : parts.at(1);
}

QString CalendarManager::occurrenceOf(const CalendarEvent &event)
{
    return event.id + QLatin1Char('|') + (event.startDate ? event.startDate->toUTC().toString(Qt::ISODate) : QString());
}

QString CalendarManager::localText(const QDateTime &instant) const
{
    return instant.toTimeZone(m_zone).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
}

void CalendarManager::scheduleIntegrationReminder()
{
    if (m_synced || m_services.settings->boolValue(kReminderCanceledKey).value_or(false))
        return;
    m_reminderTimer->stop();
    // A build that cannot connect has nothing to offer.
    if (!m_services.authenticator->isClientConfigured())
        return;
    const bool spedUp = m_services.settings->boolValue(kReminderSpedUpKey).value_or(false);
    m_reminderTimer->start(
        m_services.clock->now().addSecs((spedUp ? kSpedUpReminderInterval : kReminderInterval).count()));
}

void CalendarManager::declineIntegrationReminder()
{
    m_reminderTimer->stop();
    m_services.settings->setBool(kReminderCanceledKey, true);
}

bool CalendarManager::isIntegrationReminderArmed() const
{
    return m_reminderTimer->isActive();
}

} // namespace brelta::calendar
