#include "platform/permissions/PermissionManager.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/SoundSettingsLink.h"

#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcPermissions, "brelta.platform.PermissionManager")

namespace brelta::platform {

PermissionManager::PermissionManager(SettingsStore *settings, std::unique_ptr<AudioAccessProbe> probe, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_probe(probe ? std::move(probe) : std::make_unique<PulseAudioAccessProbe>())
{
    qRegisterMetaType<MicrophoneAuthorization>();
}

PermissionManager::~PermissionManager() = default;

QCoro::Task<bool> PermissionManager::requestMicrophoneAccess()
{
    QPointer<PermissionManager> self(this);
    if (!m_settings->setValue(settings::kMicrophoneConsentGiven, true))
        qCWarning(lcPermissions) << "the microphone consent could not be stored; it holds for this run";
    m_consentThisRun = true;
    QCoro::Task<> probing = refreshMicrophone();
    co_await std::move(probing);
    co_return self &&m_microphone == MicrophoneAuthorization::Authorized;
}

void PermissionManager::refreshSystemAudioAccess()
{
    refreshSystemAudio();
}

QCoro::Task<> PermissionManager::refresh()
{
    QCoro::Task<> microphone = refreshMicrophone();
    QCoro::Task<> systemAudio = refreshSystemAudio();
    co_await std::move(microphone);
    co_await std::move(systemAudio);
}

QCoro::Task<> PermissionManager::refreshMicrophone()
{
    if (!m_consentThisRun && !m_settings->value(settings::kMicrophoneConsentGiven)) {
        setMicrophone(MicrophoneAuthorization::NotDetermined);
        co_return;
    }
    QPointer<PermissionManager> self(this);
    const quint64 probe = ++m_microphoneProbe;
    QCoro::Task<AudioAccessProbeResult> probing = m_probe->probeMicrophone(kProbeLimit);
    const AudioAccessProbeResult result = co_await std::move(probing);
    if (!self || probe != m_microphoneProbe)
        co_return;
    if (!result.opened)
        qCInfo(lcPermissions).noquote() << "the microphone cannot be recorded:" << result.reason;
    setMicrophone(result.opened ? MicrophoneAuthorization::Authorized : MicrophoneAuthorization::Denied);
}

QCoro::Task<> PermissionManager::refreshSystemAudio()
{
    QPointer<PermissionManager> self(this);
    const quint64 probe = ++m_systemAudioProbe;
    QCoro::Task<AudioAccessProbeResult> probing = m_probe->probeSystemAudio(kProbeLimit);
    const AudioAccessProbeResult result = co_await std::move(probing);
    if (!self || probe != m_systemAudioProbe)
        co_return;
    if (!result.opened)
        qCInfo(lcPermissions).noquote() << "the system audio cannot be recorded:" << result.reason;
    setSystemAudio(result.opened);
}

void PermissionManager::setMicrophone(MicrophoneAuthorization status)
{
    if (std::exchange(m_microphone, status) != status)
        emit microphoneAuthStatusChanged(status);
}

void PermissionManager::setSystemAudio(bool hasAccess)
{
    if (std::exchange(m_systemAudio, hasAccess) != hasAccess)
        emit hasSystemAudioAccessChanged(hasAccess);
}

void PermissionManager::openMicrophonePrivacySettings()
{
    openSoundSettings();
}

void PermissionManager::openScreenCapturePrivacySettings()
{
    openSoundSettings();
}

} // namespace brelta::platform
