#pragma once

#include "recording/recorders/RecordingPurpose.h"

namespace brelta::recording {

enum class RecorderKind {
    Microphone,          // the microphone alone
    SystemVoiceFiltered, // the microphone, blanked while the system audio carries a voice
    WebView,             // the web-view recorder with its echo canceller
};

// What the user's stored choices ask a recording to be made with. The onboarding try-out, before onboarding
// is complete, always uses the microphone; otherwise privacy control decides: off, the microphone; on, the
// filtered recorder where the backend enabled it, else the web-view recorder.
RecorderKind chooseRecorder(RecordingPurpose purpose, bool onboardingCompleted, bool privacyControlOn,
                            bool useExperimentAudioRecorder);

} // namespace brelta::recording
