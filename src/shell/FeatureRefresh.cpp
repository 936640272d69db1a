#include "shell/FeatureRefresh.h"

#include "backend/client/ApiClient.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"

#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcFeatureRefresh, "brelta.shell.FeatureRefresh")

namespace brelta::shell {

namespace settings = platform::settings;

FeatureRefresh::FeatureRefresh(backend::ApiClient *api, platform::SettingsStore *store, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_settings(store)
{}

void FeatureRefresh::start()
{
    if (m_running)
        return;
    if (m_settings->value(settings::kUsername).isEmpty())
        return;
    m_running = true;
    run();
}

QCoro::Task<> FeatureRefresh::run()
{
    QPointer<FeatureRefresh> self(this);
    bool stored = false;
    try {
        QCoro::Task<backend::ApiQuomblerDto::UserInfo> request = m_api->getUserInfo();
        const backend::ApiQuomblerDto::UserInfo info = co_await std::move(request);
        if (!self)
            co_return;
        const bool enabled = info.hasFeature(backend::ApiQuomblerDto::Feature::UseExperimentAudioRecorder);
        stored = m_settings->setValue(settings::kUseExperimentAudioRecorder, enabled);
    } catch (const std::exception &error) {
        qCInfo(lcFeatureRefresh).noquote()
            << "the feature list could not be read; the stored choice stays:" << error.what();
    } catch (...) {
        qCInfo(lcFeatureRefresh) << "the feature list could not be read; the stored choice stays";
    }
    if (!self)
        co_return;
    m_running = false;
    emit finished(stored);
}

} // namespace brelta::shell
