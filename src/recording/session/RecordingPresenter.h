#pragma once

namespace brelta::recording {

// What the recording session needs shown while a recording runs. The shell implements it.
class RecordingPresenter
{
public:
    virtual ~RecordingPresenter() = default;

    // Reminds the user that a recording is still running, without taking the focus. Its extend action raises
    // AudioRecorderManager::maxRecordingDuration and calls scheduleAutomaticStop().
    virtual void showRecordingReminderPopover() = 0;
};

} // namespace brelta::recording
