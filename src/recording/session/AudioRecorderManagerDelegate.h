#pragma once

#include <QString>

#include <optional>

namespace brelta::recording {

// Told how a stopped recording was processed. The shell implements it: it shows the recording-ended popover
// or an alert, and polls for messages sooner once a recording is on its way.
class AudioRecorderManagerDelegate
{
public:
    virtual ~AudioRecorderManagerDelegate() = default;

    // No `errorMessage`: the recording was accepted and queued for upload. Otherwise it was not, and
    // `isTooShort` tells whether it was refused for being too short. Called on the main thread, after the
    // stop that produced the recording has returned; the message is for logs, not for the user.
    virtual void handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage) = 0;
};

} // namespace brelta::recording
