#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <deque>

namespace brelta::platform {

// A bounded first-in-first-out queue of small payloads that survives a restart: one file per entry,
// named by its sequence number ("0000000000000042.entry"). Files of any other name in the folder are
// not the queue's: they are neither loaded nor removed. Thread-safe.
// When full, pushing drops the oldest entry and logs it.
class DiskQueue
{
public:
    struct Entry
    {
        QString id;
        QByteArray data;
    };

    // Loads what an earlier run left in `directory` (created on demand).
    DiskQueue(QString directory, int capacity);

    const QString &directory() const { return m_directory; }
    int capacity() const { return m_capacity; }
    int size() const;
    bool isEmpty() const { return size() == 0; }

    // Stores a copy on disk before returning. Returns the entry's id; empty when the file could not be
    // written (the failure is logged, the payload is not kept).
    QString push(const QByteArray &data);

    // The oldest `count` entries, oldest first.
    QList<Entry> front(int count) const;

    void remove(const QString &id);

    // Takes an entry that can never be sent out of the queue but keeps its file (renamed *.rejected)
    // for a person to look at.
    void reject(const QString &id);

private:
    struct Slot
    {
        Entry entry;
        QString path; // the file it was read from or written to
    };

    QString pathOf(const QString &id) const;
    void load();
    std::deque<Slot>::iterator find(const QString &id);

    const QString m_directory;
    const int m_capacity;
    mutable QMutex m_mutex;
    std::deque<Slot> m_entries;
    quint64 m_nextSequence = 1;
};

} // namespace brelta::platform
