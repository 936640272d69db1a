#pragma once

// The recorder row's surroundings for the shell's widget tests: a permission state the test sets, an alert
// presenter that only counts, and analytics sent to the local backend's collector at once.

#include "ShellTestSupport.h"

#include "designsystem/components/Alert.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "shell/MicrophonePermissions.h"
#include "shell/RecorderView.h"

namespace brelta::testsupport::shell {

class FakePermissions final : public brelta::shell::MicrophonePermissions
{
    Q_OBJECT

public:
    MicrophoneStatus microphoneStatus() const override { return status; }
    bool hasSystemAudioAccess() const override { return systemAudio; }
    void set(MicrophoneStatus microphone, bool systemAudioAccess)
    {
        status = microphone;
        systemAudio = systemAudioAccess;
        emit changed();
    }

    QCoro::Task<bool> requestMicrophoneAccess() override
    {
        calls << QStringLiteral("request");
        QPointer<FakePermissions> self(this);
        const bool granted = co_await qCoro(this, &FakePermissions::answered);
        if (self)
            set(granted ? MicrophoneStatus::Authorized : MicrophoneStatus::Denied, systemAudio);
        co_return granted;
    }
    void refreshSystemAudioAccess() override { calls << QStringLiteral("refreshSystemAudio"); }
    void openMicrophoneSettings() override { calls << QStringLiteral("openMicrophoneSettings"); }
    void openSystemAudioSettings() override { calls << QStringLiteral("openSystemAudioSettings"); }

    void answer(bool granted) { emit answered(granted); }

    MicrophoneStatus status = MicrophoneStatus::Authorized;
    bool systemAudio = true;
    QStringList calls;

signals:
    void answered(bool granted);
};

class CountingAlerts final : public designsystem::AlertPresenter
{
public:
    void showAlert(const QString &title, const QString &message) override { shown << (title + u'|' + message); }
    QStringList shown;
};

// A recorder row over a scripted session with its events going to the collector of a local backend.
struct RecorderFixture
{
    RecorderFixture()
    {
        if (!server.listen())
            qFatal("the local backend could not listen");
        platform::AnalyticsConfiguration configuration;
        configuration.writeKey = server.collector().keys().analyticsWriteKey;
        configuration.host = server.baseUrl();
        configuration.flushAt = 1;
        configuration.storageDirectory = storage.path();
        analyticsClient = std::make_unique<platform::AnalyticsClient>(configuration, &network, &clock);
        analytics.setClient(analyticsClient.get());
    }

    ~RecorderFixture() { analytics.setClient(nullptr); }

    brelta::shell::RecorderViewDependencies dependencies()
    {
        brelta::shell::RecorderViewDependencies deps;
        deps.session = &session;
        deps.permissions = &permissions;
        deps.analytics = &analytics;
        deps.alerts = &alerts;
        deps.showMainPopover = [this] { ++mainPopoverShown; };
        return deps;
    }

    // The component names of the "Interaction Taken" events the collector received, in order.
    QStringList interactions()
    {
        QStringList names;
        for (const nlohmann::json &message : server.collector().batchMessages()) {
            if (message.at("event") == "Interaction Taken") {
                const nlohmann::json &properties = message.at("properties");
                if (properties.at("screen_name") != "Main View" || properties.at("interaction_type") != "CLICK")
                    names << QStringLiteral("(wrong screen or type)");
                names << QString::fromStdString(properties.at("component_name").get<std::string>());
            }
        }
        return names;
    }

    QTemporaryDir storage;
    devserver::DevServer server;
    platform::ManualClock clock;
    QNetworkAccessManager network;
    analytics::AnalyticsManager analytics;
    std::unique_ptr<platform::AnalyticsClient> analyticsClient;
    FakeRecordingSession session;
    FakePermissions permissions;
    CountingAlerts alerts;
    int mainPopoverShown = 0;
};

} // namespace brelta::testsupport::shell
