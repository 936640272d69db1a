#pragma once

// "Dectector" is the interface's given name, kept as it is spelled wherever the interface is named.

#include "recording/recorders/RecorderErrors.h"

#include <QCoroTask>
#include <QString>

#include <exception>

namespace brelta::recording {

// Told by a system-voice detector what the system audio carries. Called on the main thread.
class SystemVoiceActivityDectectorDelegate
{
public:
    virtual ~SystemVoiceActivityDectectorDelegate() = default;

    // The voice flag changed: the sound the computer plays (the other side of a call) now does or does not
    // carry a voice.
    virtual void voiceActivityDidChange(bool hasVoice) = 0;

    // The detector stopped for good: its capture died and could not be started again.
    virtual void detectorDidFail(std::exception_ptr error) = 0;
};

// Whether the system audio currently carries a voice, as the filtered recorder sees a detector.
class ISystemVoiceActivityDectector
{
public:
    virtual ~ISystemVoiceActivityDectector() = default;

    // True from a completed start() until stop().
    virtual bool isRunning() const = 0;

    // Not owned; the owner of the detector sets itself and outlives the detector's callbacks.
    virtual SystemVoiceActivityDectectorDelegate *delegate() const = 0;
    virtual void setDelegate(SystemVoiceActivityDectectorDelegate *delegate) = 0;

    // Begins listening. Returns normally (and changes nothing) when already running; throws when the
    // system audio cannot be captured, or stop() cut the start short, leaving nothing running.
    virtual QCoro::Task<> start() = 0;
    // Ends listening, and cancels a start or a capture still opening. Returns normally when not running.
    // Once it returns nothing of the detector is under way: its owner may drop it.
    virtual QCoro::Task<> stop() = 0;
};

} // namespace brelta::recording
