#pragma once

#include "recording/recorders/AudioRecordingState.h"

#include <QCoroTask>
#include <QUrl>

#include <exception>

namespace brelta::recording {

// Told when a recorder fails on its own, outside any of its operations (the microphone vanished, the disk
// filled up). Called on the main thread; returns at once.
class AudioRecorderDelegate
{
public:
    virtual ~AudioRecorderDelegate() = default;
    virtual void recorderDidFail(std::exception_ptr error) = 0;
};

// What the recording session sees of every recorder. A recorder serves one recording; all operations run on
// the main thread, awaited one at a time. Refusals are AudioRecorderError; platform failures pass through.
class IAudioRecorder
{
public:
    virtual ~IAudioRecorder() = default;

    virtual AudioRecordingState recordingState() const = 0;

    // Not owned: the session sets itself before every start and outlives its recorders.
    virtual AudioRecorderDelegate *delegate() const = 0;
    virtual void setDelegate(AudioRecorderDelegate *delegate) = 0;

    // Begins recording into the local file `url` (an ".m4a" file in the recordings folder). Returns once
    // recording runs.
    virtual QCoro::Task<> start(QUrl url) = 0;
    // Ends the recording. Returns once the output file is complete.
    virtual QCoro::Task<> stop() = 0;
    // Suspends recording, keeping the file open.
    virtual QCoro::Task<> pause() = 0;
    // Continues a paused recording into the same file.
    virtual QCoro::Task<> resume() = 0;
};

} // namespace brelta::recording
