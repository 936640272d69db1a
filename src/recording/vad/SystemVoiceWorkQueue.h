#pragma once

#include <QCoroTask>
#include <QString>
#include <QThreadPool>

#include <functional>

namespace brelta::recording {

// A serial queue on a worker thread of its own: jobs run one at a time, in the order they were posted,
// off the main thread. The audio paths of the recordings (system-audio analysis, microphone conversion and
// encoding, creating and completing the file) each keep one, so a slow encoder, detector or disk never
// stalls the user interface and their per-block state needs no lock.
class SystemVoiceWorkQueue
{
public:
    explicit SystemVoiceWorkQueue(const QString &name);
    // Runs every job still queued, then returns.
    ~SystemVoiceWorkQueue();

    SystemVoiceWorkQueue(const SystemVoiceWorkQueue &) = delete;
    SystemVoiceWorkQueue &operator=(const SystemVoiceWorkQueue &) = delete;

    // Queues a job. An exception it throws is logged and dropped; jobs that must report use run().
    void post(std::function<void()> job);

    // Queues a job behind the ones already posted and resumes the caller once it has run. An exception it
    // throws is rethrown to the caller.
    QCoro::Task<> run(std::function<void()> job);

    // Blocks until every queued job has run. For shutdown paths that cannot wait asynchronously.
    void drain();

private:
    QThreadPool m_pool;
};

} // namespace brelta::recording
