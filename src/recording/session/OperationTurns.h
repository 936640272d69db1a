#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <coroutine>
#include <deque>

namespace brelta::recording {

// Runs asynchronous operations one at a time, in the order they asked. An operation awaits waitForTurn()
// and holds the Turn it gets until it ends; the next one then goes on from the event loop, never from inside
// the operation that ended, and judges the state it finds then.
class OperationTurns final : public QObject
{
    Q_OBJECT

public:
    // Passes the turn on when it goes.
    class Turn
    {
    public:
        Turn() = default;
        Turn(Turn &&other) noexcept : m_owner(std::exchange(other.m_owner, nullptr)) {}
        Turn &operator=(Turn &&other) noexcept;
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        ~Turn() { release(); }

    private:
        friend class OperationTurns;
        explicit Turn(OperationTurns *owner) : m_owner(owner) {}
        void release();

        QPointer<OperationTurns> m_owner;
    };

    explicit OperationTurns(QObject *parent = nullptr) : QObject(parent) {}

    // Resolves once every operation that asked earlier has released its turn. The ticket is taken when this is
    // called, not when it is awaited. An operation still waiting when this object goes is never resumed: the
    // owner must outlive its operations (the recording session lives as long as the process).
    QCoro::Task<Turn> waitForTurn();

    // An operation holds the turn or waits for it.
    bool isBusy() const { return m_serving != m_nextTicket; }

private:
    // Suspends the caller until `ticket` is served.
    struct TicketAwaiter
    {
        OperationTurns *turns;
        quint64 ticket;

        bool await_ready() const noexcept { return turns->m_serving == ticket; }
        void await_suspend(std::coroutine_handle<> waiting) { turns->m_waiting.push_back({ticket, waiting}); }
        void await_resume() const noexcept {}
    };

    struct Waiting
    {
        quint64 ticket;
        std::coroutine_handle<> coroutine;
    };

    void pass();
    void resumeServed();

    quint64 m_nextTicket = 0;
    quint64 m_serving = 0;
    std::deque<Waiting> m_waiting;
};

} // namespace brelta::recording
