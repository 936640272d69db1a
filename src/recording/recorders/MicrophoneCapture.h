#pragma once

#include "platform/audio/AudioCapture.h"

#include <QCoroTask>

#include <chrono>

namespace brelta::recording {

// How the recorders record the microphone: the default source in blocks of 300 ms, in `format`, under the
// stream name the desktop's sound settings show.
platform::AudioCaptureOptions microphoneCaptureOptions(platform::PcmFormat format);

// Opens `capture` (kept alive by the caller until this returns) with `options` and, unless `paused`, lets audio
// flow and returns once the first audio has arrived: a fresh sound server sends nothing for a while, and what
// the microphone heard until then never arrives, so a recording counted from an earlier moment would start
// later than it seems to. With `paused` the stream stays corked until the capture's resume().
//
// Throws AudioRecorderError "failed to prepare to record" when the stream cannot open and "failed to start
// recording" when it closes, is stopped by its owner or sends nothing within `firstAudioTimeout`; the capture
// is then stopped.
QCoro::Task<> startMicrophoneCapture(platform::AudioCapture *capture, platform::AudioCaptureOptions options,
                                     std::chrono::milliseconds firstAudioTimeout, bool paused = false);

} // namespace brelta::recording
