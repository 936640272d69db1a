#pragma once

#include "shell/MicrophonePermissions.h"

namespace brelta::platform {
class PermissionManager;
}

namespace brelta::shell {

// The recorder panel's view of the process's permission manager.
class RecorderPermissions final : public MicrophonePermissions
{
    Q_OBJECT

public:
    // `manager` must outlive this object.
    explicit RecorderPermissions(platform::PermissionManager *manager, QObject *parent = nullptr);

    MicrophoneStatus microphoneStatus() const override;
    bool hasSystemAudioAccess() const override;
    QCoro::Task<bool> requestMicrophoneAccess() override;
    void refreshSystemAudioAccess() override;
    void openMicrophoneSettings() override;
    void openSystemAudioSettings() override;

private:
    platform::PermissionManager *m_manager;
};

} // namespace brelta::shell
