#include "shell/RecorderPermissions.h"

#include "platform/permissions/PermissionManager.h"

namespace brelta::shell {

RecorderPermissions::RecorderPermissions(platform::PermissionManager *manager, QObject *parent)
    : MicrophonePermissions(parent)
    , m_manager(manager)
{
    connect(m_manager, &platform::PermissionManager::microphoneAuthStatusChanged, this,
            &MicrophonePermissions::changed);
    connect(m_manager, &platform::PermissionManager::hasSystemAudioAccessChanged, this,
            &MicrophonePermissions::changed);
}

MicrophonePermissions::MicrophoneStatus RecorderPermissions::microphoneStatus() const
{
    switch (m_manager->microphoneAuthStatus()) {
    case platform::MicrophoneAuthorization::NotDetermined:
        return MicrophoneStatus::NotDetermined;
    case platform::MicrophoneAuthorization::Restricted:
        return MicrophoneStatus::Restricted;
    case platform::MicrophoneAuthorization::Denied:
        return MicrophoneStatus::Denied;
    case platform::MicrophoneAuthorization::Authorized:
        return MicrophoneStatus::Authorized;
    }
    return MicrophoneStatus::NotDetermined;
}

bool RecorderPermissions::hasSystemAudioAccess() const
{
    return m_manager->hasSystemAudioAccess();
}

QCoro::Task<bool> RecorderPermissions::requestMicrophoneAccess()
{
    return m_manager->requestMicrophoneAccess();
}

void RecorderPermissions::refreshSystemAudioAccess()
{
    m_manager->refreshSystemAudioAccess();
}

void RecorderPermissions::openMicrophoneSettings()
{
    m_manager->openMicrophonePrivacySettings();
}

void RecorderPermissions::openSystemAudioSettings()
{
    m_manager->openScreenCapturePrivacySettings();
}

} // namespace brelta::shell
