#include "recording/vad/SystemVoiceWorkQueue.h"

#include <QCoroFuture>
#include <QFuture>
#include <QLoggingCategory>
#include <QPromise>

#include <exception>
#include <memory>

Q_LOGGING_CATEGORY(lcWorkQueue, "brelta.recording.SystemVoiceWorkQueue")

namespace brelta::recording {

SystemVoiceWorkQueue::SystemVoiceWorkQueue(const QString &name)
{
    m_pool.setObjectName(name);
    m_pool.setMaxThreadCount(1);
    // Keep the thread for the life of the queue: audio blocks arrive every few milliseconds.
    m_pool.setExpiryTimeout(-1);
}

SystemVoiceWorkQueue::~SystemVoiceWorkQueue()
{
    m_pool.waitForDone();
}

void SystemVoiceWorkQueue::post(std::function<void()> job)
{
    m_pool.start([job = std::move(job), name = m_pool.objectName()] {
        try {
            job();
        } catch (const std::exception &error) {
            qCWarning(lcWorkQueue).noquote() << name << "job failed:" << error.what();
        }
    });
}

QCoro::Task<> SystemVoiceWorkQueue::run(std::function<void()> job)
{
    // QPromise is move-only and the pool takes copyable jobs: share it.
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    m_pool.start([job = std::move(job), promise] {
        try {
            job();
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    co_await future;
}

void SystemVoiceWorkQueue::drain()
{
    m_pool.waitForDone();
}

} // namespace brelta::recording
