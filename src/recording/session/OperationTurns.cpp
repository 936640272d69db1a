#include "recording/session/OperationTurns.h"

#include <algorithm>

namespace brelta::recording {

OperationTurns::Turn &OperationTurns::Turn::operator=(Turn &&other) noexcept
{
    if (this != &other) {
        release();
        m_owner = std::exchange(other.m_owner, nullptr);
    }
    return *this;
}

void OperationTurns::Turn::release()
{
    if (OperationTurns *owner = m_owner.data())
        owner->pass();
    m_owner = nullptr;
}

QCoro::Task<OperationTurns::Turn> OperationTurns::waitForTurn()
{
    const quint64 ticket = m_nextTicket++;
    co_await TicketAwaiter{this, ticket};
    // Resumed only by resumeServed(), which runs while this object exists.
    co_return Turn(this);
}

void OperationTurns::pass()
{
    ++m_serving;
    // The operation that ended may still be on the stack (inside a recorder's callback, say): the next one
    // starts from the event loop. Dropped with this object.
    QMetaObject::invokeMethod(this, &OperationTurns::resumeServed, Qt::QueuedConnection);
}

void OperationTurns::resumeServed()
{
    const auto served = std::find_if(m_waiting.begin(), m_waiting.end(),
                                     [this](const Waiting &waiting) { return waiting.ticket == m_serving; });
    // Nobody waits for this ticket yet (its operation will find it served), or it was resumed already.
    if (served == m_waiting.end())
        return;
    const std::coroutine_handle<> coroutine = served->coroutine;
    m_waiting.erase(served);
    coroutine.resume();
}

} // namespace brelta::recording
