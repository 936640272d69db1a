#pragma once

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>

namespace brelta::platform {

// One generic secret in the desktop's Secret Service: qtkeychain's "service" and "key" (its account).
struct SecretItem
{
    QString service;
    QString account;
};

struct SecretRead
{
    enum class Status {
        Found,
        Absent, // the service answered, unlocked, that no such item exists
        Failed, // anything else: locked, no service, timed out, unreadable; the item may well exist
    };
    Status status = Status::Failed;
    QString value;
    QString error;
};

struct SecretWrite
{
    enum class Status {
        Done,
        Superseded, // a later write or removal of the same item replaced this one before it ran
        Failed,
    };
    Status status = Status::Failed;
    QString error;

    bool failed() const { return status == Status::Failed; }
};

// An asynchronous text store over the Secret Service.
//
// Operations on one item run one at a time in the order they were asked for, so the last write asked for
// is the value that stays, also when an earlier call timed out and is still running underneath. A write
// or removal still waiting behind another is replaced by a newer one instead of running. Every call
// answers within its timeout; a call that timed out keeps its place in the order and finishes later.
class SecretStore : public QObject
{
    Q_OBJECT

public:
    explicit SecretStore(std::chrono::milliseconds timeout = std::chrono::seconds(5), QObject *parent = nullptr);
    ~SecretStore() override;

    QCoro::Task<SecretRead> read(SecretItem item);
    QCoro::Task<SecretWrite> write(SecretItem item, QString value);
    QCoro::Task<SecretWrite> remove(SecretItem item);

    std::chrono::milliseconds timeout() const { return m_timeout; }

private:
    class Operation;
    struct Queue;

    std::shared_ptr<Operation> enqueue(const SecretItem &item, std::shared_ptr<Operation> operation);
    QCoro::Task<> drain(QString queueKey);
    QCoro::Task<> runRead(SecretItem item, std::shared_ptr<Operation> operation);
    QCoro::Task<> runWrite(SecretItem item, std::shared_ptr<Operation> operation);
    QCoro::Task<> runRemove(SecretItem item, std::shared_ptr<Operation> operation);
    // Static: the store may be gone when the wait ends.
    static QCoro::Task<bool> answeredInTime(std::shared_ptr<Operation> operation, QString what,
                                            std::chrono::milliseconds timeout);

    std::chrono::milliseconds m_timeout;
    QHash<QString, std::shared_ptr<Queue>> m_queues;
};

} // namespace brelta::platform
