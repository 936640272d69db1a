#pragma once

#include "backend/records/ApiMessages.h"
#include "messages/NotificationHistoryItem.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <vector>

namespace brelta::platform {
class Clock;
class SettingsStore;
} // namespace brelta::platform

namespace brelta::messages {

// The messages on this side of the backend: the queue the notification popover shows (in memory, head
// first) and the history of shown messages, which survives restarts under "displayedNotificationsNew"
// and which the notifications panel lists. The store decides nothing about when a message is shown.
// Main thread only.
class NotificationStore : public QObject
{
    Q_OBJECT

public:
    // `settings` and `clock` must outlive the store.
    NotificationStore(platform::SettingsStore *settings, platform::Clock *clock, QObject *parent = nullptr);

    // The queue ----------------------------------------------------------------------------------------

    // Head (the message shown) first.
    const QList<backend::ApiMessages::Message> &currentMessages() const { return m_current; }
    // The ids of the queue, in queue order: what a close takes note of before it removes them later.
    QStringList currentIds() const;

    // Puts the message in front: it becomes the head.
    void enqueue(const backend::ApiMessages::Message &message);
    // Removes the head; nothing on an empty queue.
    void dismissCurrent();
    // Removes, for each id, the oldest queued message with that id. A close that takes effect later
    // names what was queued when it happened, so a message that arrives in between stays.
    void dismiss(const QStringList &ids);
    // Empties the queue (sign-out).
    void clear();

    // The history -------------------------------------------------------------------------------------

    // Newest first; elements that cannot be read are left out here but kept in the stored text.
    std::vector<NotificationHistoryItem> history() const;
    // The message ids of the history, those of unreadable elements that still name one included.
    QSet<QString> historyMessageIds() const;
    // Records a shown message: reminders never, a message id already present never again (the first
    // showing's date stays). Returns whether the history grew.
    bool addToHistory(const backend::ApiMessages::Message &message);
    // Empties the stored history (sign-out).
    void clearHistory();

signals:
    // After every change of currentMessages().
    void currentMessagesChanged();
    // After every change of the stored history.
    void historyChanged();

private:
    platform::SettingsStore *m_settings;
    platform::Clock *m_clock;
    QList<backend::ApiMessages::Message> m_current;
};

} // namespace brelta::messages
