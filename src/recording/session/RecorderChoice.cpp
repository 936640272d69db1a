#include "recording/session/RecorderChoice.h"

namespace brelta::recording {

RecorderKind chooseRecorder(RecordingPurpose purpose, bool onboardingCompleted, bool privacyControlOn,
                            bool useExperimentAudioRecorder)
{
    if (!onboardingCompleted && purpose == RecordingPurpose::Onboarding)
        return RecorderKind::Microphone;
    if (!privacyControlOn)
        return RecorderKind::Microphone;
    return useExperimentAudioRecorder ? RecorderKind::SystemVoiceFiltered : RecorderKind::WebView;
}

} // namespace brelta::recording
