#pragma once

#include <QString>

namespace brelta::recording {

// The state of the recording session and of every recorder.
enum class AudioRecordingState { Stopped, Recording, Paused };

// "stopped", "recording" or "paused": how messages and logs show a state.
QString stateName(AudioRecordingState state);

} // namespace brelta::recording
