#include "recording/session/RecordingProcessing.h"

#include "platform/AppError.h"
#include "recording/upload/RecordingCheck.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcProcessing, "brelta.recording.RecordingProcessing")

namespace brelta::recording {

using platform::AppError;

namespace {

ProcessingOutcome rejected(const AppError &error, bool isTooShort = false)
{
    ProcessingOutcome outcome;
    outcome.isTooShort = isTooShort;
    outcome.errorMessage = error.message();
    outcome.error = std::make_exception_ptr(error);
    return outcome;
}

} // namespace

ProcessingOutcome processFinishedRecording(FinishedRecording recording, RecordingHandOff &handOff)
{
    const RecordingCheck check = checkFinishedRecording(recording.filePath, recording.purpose);
    switch (check.outcome) {
    case RecordingCheck::Outcome::Missing:
        qCWarning(lcProcessing).noquote() << check.error;
        return rejected(AppError(AppError::Kind::General, check.error));

    case RecordingCheck::Outcome::Unreadable:
        qCWarning(lcProcessing).noquote() << check.error << "- the file is kept:" << recording.filePath;
        return rejected(AppError(AppError::Kind::General, check.error));

    case RecordingCheck::Outcome::TooShort: {
        QFile file(recording.filePath);
        if (!file.remove()) {
            const QString failure = QStringLiteral("cannot delete the too short recording %1: %2")
                                        .arg(recording.filePath, file.errorString());
            qCWarning(lcProcessing).noquote() << failure;
            return rejected(AppError(AppError::Kind::General, failure));
        }
        qCInfo(lcProcessing).noquote() << check.error << "- deleted" << recording.filePath;
        return rejected(AppError(AppError::Kind::RecordingTooShort, check.error), true);
    }

    case RecordingCheck::Outcome::Accepted:
        break;
    }

    recording.durationSeconds = check.seconds;
    try {
        handOff.enqueue(recording);
    } catch (const std::exception &error) {
        const QString failure = QStringLiteral("cannot queue the recording %1: %2")
                                    .arg(recording.filePath, QString::fromUtf8(error.what()));
        qCCritical(lcProcessing).noquote() << failure << "- the file is kept";
        return rejected(AppError(AppError::Kind::General, failure));
    }
    qCInfo(lcProcessing).noquote() << "queued" << recording.filePath << "of" << check.seconds << "s";
    ProcessingOutcome outcome;
    outcome.queued = true;
    return outcome;
}

} // namespace brelta::recording
