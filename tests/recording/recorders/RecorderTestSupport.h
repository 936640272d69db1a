#pragma once

// Helpers shared by the recorder tests.

#include "recording/recorders/IAudioRecorder.h"
#include "testsupport/CheckedWait.h"

#include <QStringList>
#include <QUrl>

#include <chrono>

namespace brelta::recording::testing {

// Keeps the text of every failure a recorder reports on its own.
struct RecorderDelegateSpy : AudioRecorderDelegate
{
    void recorderDidFail(std::exception_ptr error) override { failures << testsupport::describeException(error); }
    QStringList failures;
};

// "ok", the text of what the operation threw, or "did not finish": one cell of a state table.
inline QString outcome(const testsupport::Awaited<void> &done)
{
    if (!done.finished)
        return QStringLiteral("did not finish");
    return done.succeeded() ? QStringLiteral("ok") : done.errorText();
}

// Runs one operation of a state table ("start", "stop", "pause" or "resume") on a recorder and returns its
// outcome. A stop finishes the file, so it is given 30 s; `startLimit` and `limit` bound the others.
inline QString runOperation(IAudioRecorder &recorder, const QString &operation, const QString &path,
                            std::chrono::seconds startLimit = std::chrono::seconds(10),
                            std::chrono::seconds limit = std::chrono::seconds(10))
{
    if (operation == QLatin1String("start"))
        return outcome(testsupport::awaitTask(recorder.start(QUrl::fromLocalFile(path)), startLimit));
    if (operation == QLatin1String("stop"))
        return outcome(testsupport::awaitTask(recorder.stop(), std::chrono::seconds(30)));
    if (operation == QLatin1String("pause"))
        return outcome(testsupport::awaitTask(recorder.pause(), limit));
    return outcome(testsupport::awaitTask(recorder.resume(), limit));
}

} // namespace brelta::recording::testing
