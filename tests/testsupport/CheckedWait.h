#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

namespace brelta::testsupport {

QString describeException(const std::exception_ptr &error);

// What became of a coroutine a test waited for: finished with a value, finished by throwing, or still
// running when the time ran out (then the test fails instead of hanging, as QCoro::waitFor would).
template<typename T>
struct Awaited
{
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    bool finished = false;
    std::optional<Value> value;
    std::exception_ptr error;

    bool succeeded() const { return finished && !error; }
    bool threw() const { return finished && error; }

    // The exception's what() text, for a test's failure message; empty when nothing was thrown.
    QString errorText() const { return describeException(error); }

    // Rethrows the coroutine's exception so a test can catch its precise type.
    void rethrow() const
    {
        if (error)
            std::rethrow_exception(error);
    }
};

namespace detail {

template<typename T>
struct WaitState
{
    Awaited<T> result;
    QEventLoop *loop = nullptr;
};

// A free coroutine with by-value parameters: the frame owns everything it touches, so it stays valid if
// the waiting function gives up and returns first.
template<typename T>
QCoro::Task<> runInto(QCoro::Task<T> task, std::shared_ptr<WaitState<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            state->result.value.emplace();
        } else {
            state->result.value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->result.error = std::current_exception();
    }
    state->result.finished = true;
    if (state->loop)
        state->loop->quit();
}

} // namespace detail

// Runs the event loop until the coroutine finishes or the timeout passes. A test checks `finished` (or
// `succeeded()`), so a coroutine that never resumes fails the test instead of hanging it.
template<typename T>
Awaited<T> awaitTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    auto state = std::make_shared<detail::WaitState<T>>();
    QEventLoop loop;
    state->loop = &loop;
    auto runner = detail::runInto<T>(std::move(task), state);
    if (!state->result.finished) {
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    state->loop = nullptr;
    return state->result;
}

} // namespace brelta::testsupport
