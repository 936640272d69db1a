#pragma once

#include <QCoroTask>
#include <QObject>

namespace brelta::shell {

// What the recorder panel needs of the permission state: whether Brelta may use the microphone and the
// system audio, asking for the microphone, re-probing the system audio, and the desktop's sound settings
// where the user can change either. The permission manager implements it.
class MicrophonePermissions : public QObject
{
    Q_OBJECT

public:
    enum class MicrophoneStatus { NotDetermined, Restricted, Denied, Authorized };
    Q_ENUM(MicrophoneStatus)

    using QObject::QObject;

    virtual MicrophoneStatus microphoneStatus() const = 0;
    virtual bool hasSystemAudioAccess() const = 0;

    // Asks the user; finishes with whether access was granted, the status already updated.
    virtual QCoro::Task<bool> requestMicrophoneAccess() = 0;
    // Probes the system audio again; the answer arrives later through changed().
    virtual void refreshSystemAudioAccess() = 0;
    virtual void openMicrophoneSettings() = 0;
    virtual void openSystemAudioSettings() = 0;

signals:
    // After a change of either value.
    void changed();
};

} // namespace brelta::shell
