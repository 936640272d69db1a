#include "platform/telemetry/DiskQueue.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>

namespace brelta::platform {
namespace {

Q_LOGGING_CATEGORY(lcDiskQueue, "brelta.platform.DiskQueue")

const QString kSuffix = QStringLiteral(".entry");
const QString kPartialSuffix = QStringLiteral(".partial");

} // namespace

DiskQueue::DiskQueue(QString directory, int capacity)
    : m_directory(std::move(directory))
    , m_capacity(std::max(1, capacity))
{
    QDir dir(m_directory);
    if (!dir.mkpath(QStringLiteral(".")))
        qCWarning(lcDiskQueue) << "cannot create" << m_directory;
    // A push cut short by a crash left only its partial file behind.
    for (const QString &partial : dir.entryList({QLatin1Char('*') + kSuffix + kPartialSuffix}, QDir::Files))
        dir.remove(partial);
    // Zero-padded sequence numbers sort by name in queue order.
    const QStringList names = dir.entryList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString id = name.chopped(kSuffix.size());
        bool isNumber = false;
        const quint64 sequence = id.toULongLong(&isNumber);
        QFile file(dir.filePath(name));
        if (!isNumber || !file.open(QIODevice::ReadOnly)) {
            qCWarning(lcDiskQueue) << "skipping unreadable entry" << file.fileName();
            continue;
        }
        m_entries.push_back({id, file.readAll()});
        m_nextSequence = std::max(m_nextSequence, sequence + 1);
    }
    while (int(m_entries.size()) > m_capacity) {
        qCWarning(lcDiskQueue) << "queue in" << m_directory << "over capacity, dropping the oldest entry";
        QFile::remove(pathOf(m_entries.front().id));
        m_entries.pop_front();
    }
}

int DiskQueue::size() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

QString DiskQueue::push(const QByteArray &data)
{
    QMutexLocker lock(&m_mutex);
    const QString id = QStringLiteral("%1").arg(m_nextSequence++, 16, 10, QLatin1Char('0'));
    // Written beside and renamed into place, so a crash never leaves half an entry; no fsync, so a push
    // costs the caller no more than a small write.
    const QString path = pathOf(id);
    QFile file(path + kPartialSuffix);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
    file.close();
    if (!written || !QFile::rename(file.fileName(), path)) {
        qCWarning(lcDiskQueue) << "cannot store queue entry in" << m_directory << ":" << file.errorString();
        QFile::remove(file.fileName());
        return {};
    }
    m_entries.push_back({id, data});
    while (int(m_entries.size()) > m_capacity) {
        qCWarning(lcDiskQueue) << "queue in" << m_directory << "is full (" << m_capacity
                               << "entries), dropping the oldest";
        QFile::remove(pathOf(m_entries.front().id));
        m_entries.pop_front();
    }
    return id;
}

QList<DiskQueue::Entry> DiskQueue::front(int count) const
{
    QMutexLocker lock(&m_mutex);
    QList<Entry> result;
    for (auto it = m_entries.begin(); it != m_entries.end() && result.size() < count; ++it)
        result.append(*it);
    return result;
}

void DiskQueue::remove(const QString &id)
{
    QMutexLocker lock(&m_mutex);
    const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&id](const Entry &e) { return e.id == id; });
    if (it == m_entries.end())
        return;
    if (!QFile::remove(pathOf(id)) && QFile::exists(pathOf(id)))
        qCWarning(lcDiskQueue) << "cannot remove" << pathOf(id);
    m_entries.erase(it);
}

void DiskQueue::reject(const QString &id)
{
    QMutexLocker lock(&m_mutex);
    const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&id](const Entry &e) { return e.id == id; });
    if (it == m_entries.end())
        return;
    const QString path = pathOf(id);
    QFile::remove(path + QStringLiteral(".rejected"));
    QFile::rename(path, path + QStringLiteral(".rejected"));
    m_entries.erase(it);
}

QString DiskQueue::pathOf(const QString &id) const
{
    return m_directory + QLatin1Char('/') + id + kSuffix;
}

} // namespace brelta::platform
