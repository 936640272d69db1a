#include "platform/keyring/SecretStore.h"

#include "platform/keyring/SecretServiceProbe.h"

#include <QCoroSignal>
#include <QLoggingCategory>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include <optional>

Q_LOGGING_CATEGORY(lcSecretStore, "brelta.platform.SecretStore")

namespace brelta::platform {

// One asked-for operation: what to do, and, once `done` was emitted, its outcome. Callers wait for `done`
// with their timeout; the queue keeps the operation until it has really finished underneath.
class SecretStore::Operation : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Read, Write, Remove };

    Operation(Kind kind, QString value) : kind(kind), value(std::move(value)) {}

    void finishRead(SecretRead outcome)
    {
        if (finished)
            return;
        readOutcome = std::move(outcome);
        finished = true;
        emit done();
    }

    void finishWrite(SecretWrite outcome)
    {
        if (finished)
            return;
        writeOutcome = std::move(outcome);
        finished = true;
        emit done();
    }

    void fail(const QString &error)
    {
        if (kind == Kind::Read)
            finishRead({SecretRead::Status::Failed, {}, error});
        else
            finishWrite({SecretWrite::Status::Failed, error});
    }

    const Kind kind;
    const QString value;
    bool finished = false;
    SecretRead readOutcome;
    SecretWrite writeOutcome;

signals:
    void done();
};

struct SecretStore::Queue
{
    std::deque<std::shared_ptr<Operation>> waiting;
    std::shared_ptr<Operation> current;
    bool running = false;
};

namespace {

QString queueKeyOf(const SecretItem &item)
{
    return item.service + QLatin1Char('\n') + item.account;
}

QString describe(const QKeychain::Job *job)
{
    return QStringLiteral("%1 (qtkeychain error %2)").arg(job->errorString()).arg(int(job->error()));
}

// Runs one qtkeychain job to its real end. The job deletes itself after `finished`; it must not be deleted
// earlier, because libsecret's callback still points at it.
QCoro::Task<QKeychain::Job *> runJob(QKeychain::Job *job, SecretItem item)
{
    job->setAutoDelete(true);
    job->setKey(item.account);
    job->start();
    auto finished = qCoro(job, &QKeychain::Job::finished);
    co_return co_await finished;
}

// qtkeychain talks to KWallet instead on a KDE session. KWallet answers "not found" only from an open
// wallet, so with no Secret Service on the bus at all (libsecret would have failed, not said "not
// found") that answer is a real absence.
bool answeredByAnotherKeyring(const SecretServiceProbe::Presence &presence)
{
    return !presence.answered && presence.serviceMissing;
}

QString timeoutError(std::chrono::milliseconds timeout)
{
    return QStringLiteral("the Secret Service did not answer within %1 ms").arg(timeout.count());
}

} // namespace

SecretStore::SecretStore(std::chrono::milliseconds timeout, QObject *parent) : QObject(parent), m_timeout(timeout) {}

SecretStore::~SecretStore()
{
    // Whoever still waits gets an answer; running jobs finish on their own and find the store gone.
    for (const auto &queue : std::as_const(m_queues)) {
        if (queue->current)
            queue->current->fail(QStringLiteral("the secret store was closed"));
        for (const auto &operation : queue->waiting)
            operation->fail(QStringLiteral("the secret store was closed"));
    }
}

std::shared_ptr<SecretStore::Operation> SecretStore::enqueue(const SecretItem &item,
                                                             std::shared_ptr<Operation> operation)
{
    const QString key = queueKeyOf(item);
    auto &queue = m_queues[key];
    if (!queue)
        queue = std::make_shared<Queue>();

    // A change still waiting behind a running operation would be overwritten by this one anyway.
    if (operation->kind != Operation::Kind::Read && !queue->waiting.empty()) {
        const auto &last = queue->waiting.back();
        if (last->kind != Operation::Kind::Read) {
            last->finishWrite({SecretWrite::Status::Superseded, {}});
            queue->waiting.pop_back();
        }
    }
    queue->waiting.push_back(operation);
    if (!queue->running)
        drain(key);
    return operation;
}

QCoro::Task<> SecretStore::drain(QString queueKey)
{
    QPointer<SecretStore> self(this);
    std::shared_ptr<Queue> queue = m_queues.value(queueKey);
    queue->running = true;
    const int separator = int(queueKey.indexOf(QLatin1Char('\n')));
    const SecretItem item{queueKey.left(separator), queueKey.mid(separator + 1)};

    while (!queue->waiting.empty()) {
        std::shared_ptr<Operation> operation = queue->waiting.front();
        queue->waiting.pop_front();
        queue->current = operation;
        QCoro::Task<> running = operation->kind == Operation::Kind::Read    ? runRead(item, operation)
                                : operation->kind == Operation::Kind::Write ? runWrite(item, operation)
                                                                            : runRemove(item, operation);
        co_await std::move(running);
        if (!self)
            co_return;
        queue->current.reset();
    }
    queue->running = false;
    m_queues.remove(queueKey);
}

QCoro::Task<> SecretStore::runRead(SecretItem item, std::shared_ptr<Operation> operation)
{
    // Nothing of `this` is touched after the job: the store may be gone by the time it ends.
    const auto timeout = m_timeout;
    QCoro::Task<QKeychain::Job *> reading = runJob(new QKeychain::ReadPasswordJob(item.service), item);
    QKeychain::Job *job = co_await std::move(reading);
    if (job->error() == QKeychain::NoError) {
        operation->finishRead(
            {SecretRead::Status::Found, static_cast<QKeychain::ReadPasswordJob *>(job)->textData(), {}});
        co_return;
    }
    if (job->error() != QKeychain::EntryNotFound) {
        operation->fail(describe(job));
        co_return;
    }

    // "Not found" is also what a locked collection answers; only the service itself can confirm absence.
    QCoro::Task<SecretServiceProbe::Presence> probing =
        SecretServiceProbe::findItems(item.service, item.account, timeout);
    const auto presence = co_await std::move(probing);
    if (presence.absent() || answeredByAnotherKeyring(presence))
        operation->finishRead({SecretRead::Status::Absent, {}, {}});
    else if (!presence.answered)
        operation->fail(QStringLiteral("the Secret Service did not confirm the item's absence: ") + presence.error);
    else
        operation->fail(QStringLiteral("the item exists but cannot be read (is the keyring locked?)"));
}

QCoro::Task<> SecretStore::runWrite(SecretItem item, std::shared_ptr<Operation> operation)
{
    auto *writeJob = new QKeychain::WritePasswordJob(item.service);
    writeJob->setTextData(operation->value);
    QCoro::Task<QKeychain::Job *> writing = runJob(writeJob, item);
    QKeychain::Job *job = co_await std::move(writing);
    if (job->error() == QKeychain::NoError)
        operation->finishWrite({SecretWrite::Status::Done, {}});
    else
        operation->fail(describe(job));
}

QCoro::Task<> SecretStore::runRemove(SecretItem item, std::shared_ptr<Operation> operation)
{
    const auto timeout = m_timeout;
    QCoro::Task<QKeychain::Job *> removing = runJob(new QKeychain::DeletePasswordJob(item.service), item);
    QKeychain::Job *job = co_await std::move(removing);
    if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound) {
        operation->fail(describe(job));
        co_return;
    }

    // A locked collection lets a removal "succeed" without removing anything: check that it is gone.
    QCoro::Task<SecretServiceProbe::Presence> probing =
        SecretServiceProbe::findItems(item.service, item.account, timeout);
    const auto presence = co_await std::move(probing);
    if (presence.absent() || answeredByAnotherKeyring(presence))
        operation->finishWrite({SecretWrite::Status::Done, {}});
    else if (!presence.answered)
        operation->fail(QStringLiteral("the Secret Service did not confirm the removal: ") + presence.error);
    else
        operation->fail(QStringLiteral("the item is still there (is the keyring locked?)"));
}

QCoro::Task<bool> SecretStore::answeredInTime(std::shared_ptr<Operation> operation, QString what,
                                              std::chrono::milliseconds timeout)
{
    // co_await stays out of conditions throughout (CODING.md, "Coroutines").
    if (operation->finished)
        co_return true;
    auto doneOrTimeout = qCoro(operation.get(), &Operation::done, timeout);
    const auto done = co_await std::move(doneOrTimeout);
    if (done.has_value())
        co_return true;
    qCWarning(lcSecretStore).noquote() << what << "did not finish within" << timeout.count() << "ms";
    co_return false;
}

// The three calls below may resume after the store is gone (its destructor answers every waiting operation,
// and a timeout can come first): after their await they touch only their operation and their copy of the
// timeout. An operation that did finish answers with its outcome even when the wait for it timed out.

QCoro::Task<SecretRead> SecretStore::read(SecretItem item)
{
    const auto timeout = m_timeout;
    auto operation = enqueue(item, std::make_shared<Operation>(Operation::Kind::Read, QString()));
    QCoro::Task<bool> waiting = answeredInTime(operation, QStringLiteral("reading ") + item.service, timeout);
    const bool answered = co_await std::move(waiting);
    if (!answered && !operation->finished)
        co_return SecretRead{SecretRead::Status::Failed, {}, timeoutError(timeout)};
    co_return operation->readOutcome;
}

QCoro::Task<SecretWrite> SecretStore::write(SecretItem item, QString value)
{
    const auto timeout = m_timeout;
    auto operation = enqueue(item, std::make_shared<Operation>(Operation::Kind::Write, std::move(value)));
    QCoro::Task<bool> waiting = answeredInTime(operation, QStringLiteral("writing ") + item.service, timeout);
    const bool answered = co_await std::move(waiting);
    if (!answered && !operation->finished)
        co_return SecretWrite{SecretWrite::Status::Failed, timeoutError(timeout)};
    co_return operation->writeOutcome;
}

QCoro::Task<SecretWrite> SecretStore::remove(SecretItem item)
{
    const auto timeout = m_timeout;
    auto operation = enqueue(item, std::make_shared<Operation>(Operation::Kind::Remove, QString()));
    QCoro::Task<bool> waiting = answeredInTime(operation, QStringLiteral("removing ") + item.service, timeout);
    const bool answered = co_await std::move(waiting);
    if (!answered && !operation->finished)
        co_return SecretWrite{SecretWrite::Status::Failed, timeoutError(timeout)};
    co_return operation->writeOutcome;
}

} // namespace brelta::platform

#include "SecretStore.moc"
