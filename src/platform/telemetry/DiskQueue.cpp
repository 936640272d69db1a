#include "platform/telemetry/DiskQueue.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace brelta::platform {
namespace {

Q_LOGGING_CATEGORY(lcDiskQueue, "brelta.platform.DiskQueue")

const QString kSuffix = QStringLiteral(".entry");
const QString kPartialSuffix = QStringLiteral(".partial");
constexpr int kIdDigits = 16;

// Exactly the names push() writes. QDir's name filters ignore case, and a name that only looks like
// ours would be rebuilt under another name when it is removed, so the queue picks its files itself.
const QRegularExpression &entryName()
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{%1})\\.entry").arg(kIdDigits)));
    return pattern;
}

const QRegularExpression &partialName()
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{%1}\\.entry\\.partial").arg(kIdDigits)));
    return pattern;
}

} // namespace

DiskQueue::DiskQueue(QString directory, int capacity)
    : m_directory(std::move(directory))
    , m_capacity(std::max(1, capacity))
{
    load();
}

void DiskQueue::load()
{
    QDir dir(m_directory);
    if (!dir.mkpath(QStringLiteral(".")))
        qCWarning(lcDiskQueue) << "cannot create" << m_directory;

    struct Found
    {
        quint64 sequence;
        QString name;
    };
    std::vector<Found> found;
    for (const QString &name : dir.entryList(QDir::Files)) {
        if (partialName().match(name).hasMatch()) {
            // A push cut short by a crash left only its partial file behind.
            dir.remove(name);
            continue;
        }
        const QRegularExpressionMatch match = entryName().match(name);
        if (!match.hasMatch()) {
            if (!name.endsWith(QStringLiteral(".rejected")))
                qCWarning(lcDiskQueue) << "leaving" << dir.filePath(name) << "alone: not a queue entry";
            continue;
        }
        found.push_back({match.captured(1).toULongLong(), name});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.sequence < b.sequence; });

    for (const Found &entry : found) {
        QFile file(dir.filePath(entry.name));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcDiskQueue) << "skipping unreadable entry" << file.fileName() << ":" << file.errorString();
            continue;
        }
        m_entries.push_back({{entry.name.chopped(kSuffix.size()), file.readAll()}, file.fileName()});
        m_nextSequence = std::max(m_nextSequence, entry.sequence + 1);
    }
    while (int(m_entries.size()) > m_capacity) {
        qCWarning(lcDiskQueue) << "queue in" << m_directory << "over capacity, dropping the oldest entry";
        QFile::remove(m_entries.front().path);
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
    const QString id = QStringLiteral("%1").arg(m_nextSequence++, kIdDigits, 10, QLatin1Char('0'));
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
    m_entries.push_back({{id, data}, path});
    while (int(m_entries.size()) > m_capacity) {
        qCWarning(lcDiskQueue) << "queue in" << m_directory << "is full (" << m_capacity
                               << "entries), dropping the oldest";
        QFile::remove(m_entries.front().path);
        m_entries.pop_front();
    }
    return id;
}

QList<DiskQueue::Entry> DiskQueue::front(int count) const
{
    QMutexLocker lock(&m_mutex);
    QList<Entry> result;
    for (auto it = m_entries.begin(); it != m_entries.end() && result.size() < count; ++it)
        result.append(it->entry);
    return result;
}

std::deque<DiskQueue::Slot>::iterator DiskQueue::find(const QString &id)
{
    return std::find_if(m_entries.begin(), m_entries.end(), [&id](const Slot &slot) { return slot.entry.id == id; });
}

void DiskQueue::remove(const QString &id)
{
    QMutexLocker lock(&m_mutex);
    const auto it = find(id);
    if (it == m_entries.end())
        return;
    if (!QFile::remove(it->path) && QFile::exists(it->path))
        qCWarning(lcDiskQueue) << "cannot remove" << it->path;
    m_entries.erase(it);
}

void DiskQueue::reject(const QString &id)
{
    QMutexLocker lock(&m_mutex);
    const auto it = find(id);
    if (it == m_entries.end())
        return;
    const QString rejected = it->path + QStringLiteral(".rejected");
    QFile::remove(rejected);
    if (!QFile::rename(it->path, rejected))
        qCWarning(lcDiskQueue) << "cannot set aside" << it->path;
    m_entries.erase(it);
}

QString DiskQueue::pathOf(const QString &id) const
{
    return m_directory + QLatin1Char('/') + id + kSuffix;
}

} // namespace brelta::platform
