#pragma once

#include "platform/permissions/AudioAccessProbe.h"

#include <QCoroTask>
#include <QObject>

#include <chrono>
#include <memory>

namespace brelta::platform {

class SettingsStore;

enum class MicrophoneAuthorization { NotDetermined, Restricted, Denied, Authorized };

// Whether Brelta may record the microphone and the system audio, for the screens and the record link.
//
// The microphone is "not determined" until the user allows it in Brelta once (requestMicrophoneAccess);
// that consent is stored and kept across sign-out, like a system grant. From then on it is authorised
// while a record stream opens on the default source, and denied when none does (no server, no source, a
// monitor as source). A probe alone never authorises: onboarding would skip its permission steps.
// System audio is available while a stream opens on the default sink's monitor.
//
// Probes run on the sound server's thread and answer within kProbeLimit; the main thread never waits.
// Main thread only.
class PermissionManager : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kProbeLimit{3000};

    // `settings` must outlive the manager; `probe` null = the PulseAudio probes.
    explicit PermissionManager(SettingsStore *settings, std::unique_ptr<AudioAccessProbe> probe = nullptr,
                               QObject *parent = nullptr);
    ~PermissionManager() override;

    MicrophoneAuthorization microphoneAuthStatus() const { return m_microphone; }
    bool hasSystemAudioAccess() const { return m_systemAudio; }

    // The user allows the microphone: stores the consent, probes, and answers whether it can be recorded.
    QCoro::Task<bool> requestMicrophoneAccess();
    // Probes again; the results arrive through the change signals.
    void refreshSystemAudioAccess();
    // Both probes afresh, concurrently; finishes once both answered (within kProbeLimit).
    QCoro::Task<> refresh();

    // Both open the desktop's sound settings (there is one place for inputs and outputs).
    void openMicrophonePrivacySettings();
    void openScreenCapturePrivacySettings();

signals:
    void microphoneAuthStatusChanged(brelta::platform::MicrophoneAuthorization status);
    void hasSystemAudioAccessChanged(bool hasAccess);

private:
    QCoro::Task<> refreshMicrophone();
    QCoro::Task<> refreshSystemAudio();
    void setMicrophone(MicrophoneAuthorization status);
    void setSystemAudio(bool hasAccess);

    SettingsStore *m_settings;
    std::unique_ptr<AudioAccessProbe> m_probe;
    MicrophoneAuthorization m_microphone = MicrophoneAuthorization::NotDetermined;
    bool m_systemAudio = false;
    // The consent holds for this run even when the settings file refused it.
    bool m_consentThisRun = false;
    // A later probe's answer wins over an earlier one that answers after it.
    quint64 m_microphoneProbe = 0;
    quint64 m_systemAudioProbe = 0;
};

} // namespace brelta::platform

Q_DECLARE_METATYPE(brelta::platform::MicrophoneAuthorization)
