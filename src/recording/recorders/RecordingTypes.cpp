#include "recording/recorders/AudioRecordingState.h"
#include "recording/recorders/RecordingPurpose.h"

namespace brelta::recording {

QString stateName(AudioRecordingState state)
{
    switch (state) {
    case AudioRecordingState::Stopped:
        return QStringLiteral("stopped");
    case AudioRecordingState::Recording:
        return QStringLiteral("recording");
    case AudioRecordingState::Paused:
        return QStringLiteral("paused");
    }
    return {};
}

QString rawValue(RecordingPurpose purpose)
{
    switch (purpose) {
    case RecordingPurpose::Practice:
        return QStringLiteral("practice");
    case RecordingPurpose::Onboarding:
        return QStringLiteral("onboarding");
    }
    return {};
}

std::optional<RecordingPurpose> recordingPurposeFromRawValue(const QString &raw)
{
    for (const RecordingPurpose purpose : {RecordingPurpose::Practice, RecordingPurpose::Onboarding}) {
        if (rawValue(purpose) == raw)
            return purpose;
    }
    return std::nullopt;
}

} // namespace brelta::recording
