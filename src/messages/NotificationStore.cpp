#include "messages/NotificationStore.h"

#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcNotificationStore, "brelta.messages.NotificationStore")

namespace brelta::messages {

using backend::ApiMessages::Message;
namespace settings = platform::settings;

namespace {

// The id an unreadable stored element still names, so the history never holds a message twice even
// while one of its elements cannot be read.
std::optional<QString> rawMessageId(const nlohmann::json &raw)
{
    if (!raw.is_object())
        return std::nullopt;
    const auto message = raw.find("message");
    if (message == raw.end() || !message->is_object())
        return std::nullopt;
    const auto id = message->find("messageId");
    if (id == message->end() || !id->is_string())
        return std::nullopt;
    return QString::fromStdString(id->get<std::string>());
}

} // namespace

NotificationStore::NotificationStore(platform::SettingsStore *settings, platform::Clock *clock, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_clock(clock)
{}

QStringList NotificationStore::currentIds() const
{
    QStringList ids;
    for (const Message &message : m_current)
        ids << message.messageId;
    return ids;
}

void NotificationStore::enqueue(const Message &message)
{
    m_current.prepend(message);
    emit currentMessagesChanged();
}

void NotificationStore::dismissCurrent()
{
    if (m_current.isEmpty())
        return;
    m_current.removeFirst();
    emit currentMessagesChanged();
}

void NotificationStore::dismiss(const QStringList &ids)
{
    bool removed = false;
    for (const QString &id : ids) {
        for (qsizetype i = m_current.size() - 1; i >= 0; --i) {
            if (m_current.at(i).messageId == id) {
                m_current.removeAt(i);
                removed = true;
                break;
            }
        }
    }
    if (removed)
        emit currentMessagesChanged();
}

void NotificationStore::clear()
{
    if (m_current.isEmpty())
        return;
    m_current.clear();
    emit currentMessagesChanged();
}

std::vector<NotificationHistoryItem> NotificationStore::history() const
{
    return m_settings->readArray<NotificationHistoryItem>(settings::kDisplayedNotifications).items;
}

QSet<QString> NotificationStore::historyMessageIds() const
{
    const auto stored = m_settings->readArray<NotificationHistoryItem>(settings::kDisplayedNotifications);
    QSet<QString> ids;
    for (const NotificationHistoryItem &item : stored.items)
        ids.insert(item.message.messageId);
    for (const platform::StoredArrayFailure &failure : stored.failures) {
        if (const auto id = rawMessageId(failure.rawItem))
            ids.insert(*id);
    }
    return ids;
}

bool NotificationStore::addToHistory(const Message &message)
{
    if (message.content.eventStartReminder || message.content.eventEndReminder)
        return false;
    auto stored = m_settings->readArray<NotificationHistoryItem>(settings::kDisplayedNotifications);
    for (const NotificationHistoryItem &item : stored.items) {
        if (item.message.messageId == message.messageId)
            return false;
    }
    for (const platform::StoredArrayFailure &failure : stored.failures) {
        if (rawMessageId(failure.rawItem) == message.messageId)
            return false;
    }
    if (stored.unreadableText)
        qCWarning(lcNotificationStore) << "the stored history is not a list; it is replaced by the new item";

    std::vector<NotificationHistoryItem> items;
    items.reserve(stored.items.size() + 1);
    items.push_back(NotificationHistoryItem::make(m_clock->now(), message));
    items.insert(items.end(), stored.items.begin(), stored.items.end());
    // Elements that cannot be read now are written back as they were, after the readable ones.
    if (!m_settings->writeArray(settings::kDisplayedNotifications, items, stored.failedRawItems())) {
        qCWarning(lcNotificationStore) << "the history could not be saved; message" << message.messageId
                                       << "is shown but not kept";
        return false;
    }
    emit historyChanged();
    return true;
}

void NotificationStore::clearHistory()
{
    m_settings->remove(settings::kDisplayedNotifications);
    emit historyChanged();
}

} // namespace brelta::messages
