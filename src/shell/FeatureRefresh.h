#pragma once

#include <QCoroTask>
#include <QObject>

namespace brelta::backend {
class ApiClient;
}
namespace brelta::platform {
class SettingsStore;
}

namespace brelta::shell {

// Keeps the stored "isUseExperimentAudioRecorder" in step with the features the backend enables for the
// user, asked each time the main popover opens. One request at a time: opening the popover again while
// one is under way asks nothing more. Nothing is asked while signed out (no stored user name). A failed
// request leaves the stored value as it was.
class FeatureRefresh : public QObject
{
    Q_OBJECT

public:
    FeatureRefresh(backend::ApiClient *api, platform::SettingsStore *settings, QObject *parent = nullptr);

    // Starts a refresh unless one is under way or nobody is signed in. Returns at once.
    void start();
    bool isRunning() const { return m_running; }

signals:
    // A refresh ended (stored or failed).
    void finished(bool stored);

private:
    QCoro::Task<> run();

    backend::ApiClient *m_api;
    platform::SettingsStore *m_settings;
    bool m_running = false;
};

} // namespace brelta::shell
