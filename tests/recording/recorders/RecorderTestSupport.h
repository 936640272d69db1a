#pragma once

// Helpers shared by the recorder tests.

#include "recording/recorders/IAudioRecorder.h"
#include "testsupport/CheckedWait.h"

#include <QStringList>

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

} // namespace brelta::recording::testing
