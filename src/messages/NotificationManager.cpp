#include "messages/NotificationManager.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "backend/client/ApiClient.h"
#include "messages/CalendarLookahead.h"
#include "messages/CoachingTips.h"
#include "messages/MessagesShell.h"
#include "messages/NotificationStore.h"
#include "messages/RecordingControl.h"
#include "platform/Clock.h"
#include "platform/DeadlineTimer.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/WireTime.h"
#include "platform/telemetry/ErrorTracker.h"

#include <QLoggingCategory>
#include <QRandomGenerator>

Q_LOGGING_CATEGORY(lcNotificationManager, "brelta.messages.NotificationManager")

namespace brelta::messages {

namespace Api = backend::ApiMessages;
namespace settings = platform::settings;
using Api::Message;

struct NotificationManager::Scheduled
{
    Message message;
    std::unique_ptr<platform::DeadlineTimer> timer;
};

namespace {

// One message of a poll; a fetch that fails yields nothing and the others go on.
QCoro::Task<std::optional<Message>> fetchOne(backend::ApiClient *client, QString messageId)
{
    try {
        QCoro::Task<Message> fetch = client->getUserMessage(messageId);
        Message message = co_await std::move(fetch);
        co_return message;
    } catch (const std::exception &error) {
        qCInfo(lcNotificationManager) << "message" << messageId << "could not be fetched:" << error.what();
        co_return std::nullopt;
    }
}

} // namespace

NotificationManager::NotificationManager(NotificationManagerServices services, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_zone(QTimeZone::systemTimeZone())
    , m_pollTimer(services.clock->createTimer())
    , m_tipTimer(std::make_unique<platform::DeadlineTimer>(services.clock))
{
    connect(m_pollTimer.get(), &platform::Timer::timeout, this, &NotificationManager::onPollTick);
    connect(m_tipTimer.get(), &platform::DeadlineTimer::fired, this, [this] {
        m_tipTimer->start(m_services.clock->now().addSecs(kCoachingTipInterval.count()));
        triggerCoachingTip();
    });
}

NotificationManager::~NotificationManager() = default;

// Polling ------------------------------------------------------------------------------------------------

void NotificationManager::startMessagesPolling(std::chrono::seconds interval)
{
    m_pollTimer->start(interval, platform::Timer::Mode::Repeating);
}

std::optional<std::chrono::seconds> NotificationManager::pollInterval() const
{
    if (!m_pollTimer->isActive())
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(m_pollTimer->interval());
}

bool NotificationManager::isPolling() const
{
    return m_pollGeneration == m_generation;
}

void NotificationManager::onPollTick()
{
    if (isPolling()) {
        qCDebug(lcNotificationManager) << "a poll is still running; this tick is skipped";
        return;
    }
    fetchMessages();
}

QCoro::Task<> NotificationManager::fetchMessages()
{
    if (isPolling())
        co_return;
    const quint64 generation = m_generation;
    m_pollGeneration = generation;
    QPointer<NotificationManager> self(this);
    // Ends the poll however the coroutine ends, unless a newer session has taken over.
    struct PollEnd
    {
        QPointer<NotificationManager> self;
        quint64 generation;
        ~PollEnd()
        {
            if (self && self->m_pollGeneration == generation)
                self->m_pollGeneration.reset();
        }
    } pollEnd{self, generation};
    const auto current = [&self, generation] { return self && self->m_generation == generation; };

    backend::ApiClient *client = m_services.client;
    std::vector<Api::MessagesListEntry> entries;
    try {
        QCoro::Task<std::vector<Api::MessagesListEntry>> listing = client->listActiveUserMessages();
        entries = co_await std::move(listing);
    } catch (const std::exception &error) {
        if (current()) {
            qCWarning(lcNotificationManager) << "listing the messages failed:" << error.what();
            captureError(error);
        }
        co_return;
    }
    if (!current())
        co_return;

    std::vector<QCoro::Task<std::optional<Message>>> fetches;
    for (const Api::MessagesListEntry &entry : entries) {
        if (!isHandled(entry.messageId))
            fetches.push_back(fetchOne(client, entry.messageId));
    }
    // The fetches run side by side; their messages are routed in the service's order.
    std::vector<Message> messages;
    for (QCoro::Task<std::optional<Message>> &fetch : fetches) {
        std::optional<Message> message = co_await std::move(fetch);
        if (message)
            messages.push_back(std::move(*message));
    }
    if (!current())
        co_return;
    routeMessages(messages);
}

void NotificationManager::routeMessages(const std::vector<Message> &messages)
{
    std::vector<Decision> decisions;
    QHash<QString, std::size_t> lastScheduledInSlot;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        decisions.push_back(decide(messages[i]));
        if (decisions.back().route == Route::Schedule && messages[i].slot)
            lastScheduledInSlot.insert(*messages[i].slot, i);
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Message &message = messages[i];
        // Shown meanwhile (by a scheduled timer, or listed twice): never shown again.
        if (isHandled(message.messageId))
            continue;
        switch (decisions[i].route) {
        case Route::Show:
            showMessage(message);
            break;
        case Route::Schedule:
            // Of the messages for one slot only the last one listed is scheduled, so a poll that finds the
            // same holder changes nothing.
            if (!message.slot || lastScheduledInSlot.value(*message.slot) == i)
                scheduleNotificationMessage(decisions[i].date, message);
            break;
        case Route::Drop:
        case Route::Ignore:
            break;
        }
    }
}

std::optional<QDateTime> NotificationManager::parseLocal(const QString &text) const
{
    return platform::wiretime::parseLocal(text, m_zone);
}

NotificationManager::Decision NotificationManager::decide(const Message &message) const
{
    if (message.schedule.asap)
        return {Route::Show, {}};
    if (!message.schedule.localInterval)
        return {Route::Ignore, {}};
    const Api::LocalIntervalMessageSchedule &window = *message.schedule.localInterval;
    const std::optional<QDateTime> earliest = parseLocal(window.earliestLocalIso);
    if (!earliest) {
        qCInfo(lcNotificationManager) << "message" << message.messageId << "has an unreadable earliest time"
                                      << window.earliestLocalIso;
        return {Route::Drop, {}};
    }
    const QDateTime now = m_services.clock->now();
    if (now < *earliest)
        return {Route::Schedule, *earliest};
    const std::optional<QDateTime> latest = window.latestLocalIso ? parseLocal(*window.latestLocalIso) : std::nullopt;
    if (latest && now > *latest)
        return {Route::Drop, {}};
    return {Route::Show, {}};
}

// Coaching tips -----------------------------------------------------------------------------------------

void NotificationManager::scheduleCoachingTips()
{
    m_tipTimer->start(m_services.clock->now().addSecs(kCoachingTipInterval.count()));
}

QCoro::Task<> NotificationManager::triggerCoachingTip()
{
    const quint64 generation = m_generation;
    QPointer<NotificationManager> self(this);
    const auto current = [&self, generation] { return self && self->m_generation == generation; };

    if (!isCoachingTipTime(m_services.clock->now().toTimeZone(m_zone)))
        co_return;
    if (CalendarLookahead *lookahead = m_lookahead; lookahead && lookahead->isConnectedAndSynced()) {
        try {
            QCoro::Task<bool> reading = lookahead->hasEventWithin(kCoachingTipLookahead);
            const bool busy = co_await std::move(reading);
            if (!current() || busy)
                co_return;
        } catch (const std::exception &error) {
            if (current())
                captureError(error);
            co_return;
        }
    }
    backend::ApiClient *client = m_services.client;
    QString tip;
    try {
        QCoro::Task<QString> request = client->generateCoachingTip();
        tip = co_await std::move(request);
    } catch (const std::exception &error) {
        if (current())
            captureError(error);
        co_return;
    }
    if (!current())
        co_return;
    showMessage(coachingTipMessage(tip, qint64(QRandomGenerator::global()->generate64())));
}

// Scheduling and showing ----------------------------------------------------------------------------------

void NotificationManager::processMessage(const Message &message)
{
    if (!message.schedule.localInterval)
        return;
    const Decision decision = decide(Message{message.messageId, message.slot, message.content,
                                             Api::MessageSchedule{std::nullopt, message.schedule.localInterval}});
    if (decision.route == Route::Schedule)
        scheduleNotificationMessage(decision.date, message);
    else if (decision.route == Route::Show)
        showMessage(message);
}

void NotificationManager::scheduleNotificationMessage(const QDateTime &date, const Message &message)
{
    if (m_scheduled.contains(message.messageId))
        return;
    if (date < m_services.clock->now())
        return;
    if (message.slot) {
        const QString holder = m_slots.value(*message.slot);
        if (!holder.isEmpty() && holder != message.messageId)
            cancelScheduledMessage(holder);
        m_slots.insert(*message.slot, message.messageId);
    }

    analytics::event::ScheduleNotificationMessage event;
    event.messageId = message.messageId;
    event.messageSlot = message.slot;
    event.scheduleDate = platform::wiretime::formatWithOffset(date, m_zone);
    event.scheduleLocalDate = platform::wiretime::formatLocal(date, m_zone);
    m_services.analytics->send(event);

    auto scheduled = std::make_shared<Scheduled>();
    scheduled->message = message;
    scheduled->timer = std::make_unique<platform::DeadlineTimer>(m_services.clock);
    const QString id = message.messageId;
    connect(scheduled->timer.get(), &platform::DeadlineTimer::fired, this, [this, id] { onScheduledFired(id); });
    scheduled->timer->start(date);
    m_scheduled.insert(id, scheduled);
}

bool NotificationManager::hasScheduledMessage(const QString &messageId) const
{
    return m_scheduled.contains(messageId);
}

void NotificationManager::cancelScheduledMessage(const QString &messageId)
{
    const std::shared_ptr<Scheduled> scheduled = m_scheduled.take(messageId);
    if (!scheduled)
        return;
    scheduled->timer->stop();
    scheduled->timer.release()->deleteLater();
    if (scheduled->message.slot && m_slots.value(*scheduled->message.slot) == messageId)
        m_slots.remove(*scheduled->message.slot);
}

void NotificationManager::onScheduledFired(const QString &messageId)
{
    const std::shared_ptr<Scheduled> scheduled = m_scheduled.value(messageId);
    if (!scheduled)
        return;
    const Message message = scheduled->message;
    // Removed before showing: this runs inside the timer's own signal.
    cancelScheduledMessage(messageId);

    // A timer that fires after the window closed (the machine slept through it) shows nothing: the
    // message is dropped as a late poll would drop it, and offered again while the service lists it.
    const auto &window = message.schedule.localInterval;
    if (window && window->latestLocalIso) {
        const std::optional<QDateTime> latest = parseLocal(*window->latestLocalIso);
        if (latest && m_services.clock->now() > *latest) {
            qCInfo(lcNotificationManager)
                << "scheduled message" << messageId << "is dropped: its window closed at" << *window->latestLocalIso;
            return;
        }
    }
    analytics::event::ShowScheduledNotificationMessage event;
    event.messageId = message.messageId;
    event.messageSlot = message.slot;
    m_services.analytics->send(event);
    showMessage(message);
}

bool NotificationManager::showMessage(const Message &message)
{
    if (message.content.eventEndReminder && m_services.recording->state() != recording::AudioRecordingState::Recording)
        return false;
    m_services.store->enqueue(message);
    m_services.store->addToHistory(message);
    markProcessed(message.messageId);
    if (m_shell && !m_shell->isNotificationPopoverShown())
        m_shell->showNotificationPopover();
    if (message.content.meetingReport)
        startMessagesPolling(kDefaultPollInterval);
    if (message.content.eventStartReminder) {
        analytics::event::ComponentShown event;
        event.componentName = analytics::event::ComponentName::PreMeetingNudge;
        event.screenName = analytics::event::ScreenName::NotificationsPopover;
        event.componentValue = message.content.eventStartReminder->title;
        m_services.analytics->send(event);
    }
    emit messageShown(message.messageId);
    return true;
}

QStringList NotificationManager::processedMessageIds() const
{
    QStringList ids;
    for (const QString &id : m_services.settings->readArray<QString>(settings::kProcessedNotificationIds).items)
        ids << id;
    return ids;
}

bool NotificationManager::isHandled(const QString &messageId) const
{
    return processedMessageIds().contains(messageId) || m_services.store->historyMessageIds().contains(messageId);
}

void NotificationManager::markProcessed(const QString &messageId)
{
    const auto stored = m_services.settings->readArray<QString>(settings::kProcessedNotificationIds);
    if (std::find(stored.items.begin(), stored.items.end(), messageId) != stored.items.end())
        return;
    std::vector<QString> ids = stored.items;
    ids.push_back(messageId);
    if (!m_services.settings->writeArray(settings::kProcessedNotificationIds, ids, stored.failedRawItems()))
        qCWarning(lcNotificationManager) << "the processed message ids could not be saved";
}

void NotificationManager::captureError(const std::exception &error) const
{
    if (m_services.errorTracker)
        m_services.errorTracker->captureError(error);
}

// Session ------------------------------------------------------------------------------------------------

void NotificationManager::stopAllTimers()
{
    m_pollTimer->stop();
    m_tipTimer->stop();
    const QStringList ids = m_scheduled.keys();
    for (const QString &id : ids)
        cancelScheduledMessage(id);
    m_slots.clear();
}

void NotificationManager::clearProcessedMessageIds()
{
    ++m_generation;
    m_pollGeneration.reset();
    m_services.settings->remove(settings::kProcessedNotificationIds);
}

void NotificationManager::signOut()
{
    clearProcessedMessageIds();
    stopAllTimers();
    m_services.store->clear();
    m_services.store->clearHistory();
}

void NotificationManager::handleWake()
{
    for (const std::shared_ptr<Scheduled> &scheduled : std::as_const(m_scheduled))
        scheduled->timer->rearm();
    m_tipTimer->rearm();
    startMessagesPolling(kDefaultPollInterval);
}

} // namespace brelta::messages
