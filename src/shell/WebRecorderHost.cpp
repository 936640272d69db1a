#include "shell/WebRecorderHost.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "recording/session/AudioRecorderManager.h"
#include "recording/session/RecorderChoice.h"
#include "recording/session/RecordingsDirectory.h"
#include "recording/web/WebViewAudioRecorder.h"

#include <QCoroTask>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWebRecorderHost, "brelta.shell.WebRecorderHost")

namespace brelta::shell {

WebRecorderHost::WebRecorderHost(recording::AudioRecorderManager *manager, platform::SettingsStore *settings,
                                 QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_settings(settings)
    , m_recorder(std::make_shared<recording::WebViewAudioRecorder>())
{}

WebRecorderHost::~WebRecorderHost() = default;

void WebRecorderHost::setUp()
{
    if (std::exchange(m_setUp, true))
        return;
    m_manager->setWebViewRecorder(m_recorder);
    connect(m_settings, &platform::SettingsStore::changed, this, [this](const QString &key) {
        using namespace platform::settings;
        if (key == kOnboardingCompleted.key.storedName() || key == kUseWebViewRecorderNewest.key.storedName()
            || key == kUseExperimentAudioRecorder.key.storedName())
            loadPageIfChosen();
    });
    loadPageIfChosen();
}

void WebRecorderHost::loadPageIfChosen()
{
    using namespace platform::settings;
    const recording::RecorderKind kind = recording::chooseRecorder(
        recording::RecordingPurpose::Practice, m_settings->value(kOnboardingCompleted),
        m_settings->value(kUseWebViewRecorderNewest), m_settings->value(kUseExperimentAudioRecorder));
    if (kind != recording::RecorderKind::WebView)
        return;
    if (!m_recorder->page())
        qCInfo(lcWebRecorderHost) << "the web-view recorder is chosen: loading its page";
    // Loads once; later calls reload only a page whose renderer died, and never while recording.
    m_recorder->setup();
}

QStringList WebRecorderHost::recoverInterruptedRecordings(const QString &folder)
{
    try {
        QCoro::Task<QStringList> recovering =
            recording::WebViewAudioRecorder::recoverInterruptedRecordings(recording::recordingsDirectory(folder));
        const QStringList completed = QCoro::waitFor(recovering);
        for (const QString &path : completed)
            qCInfo(lcWebRecorderHost).noquote() << "completed the interrupted web-view recording" << path;
        return completed;
    } catch (const std::exception &error) {
        // The chunk files stay where they are for the next launch.
        qCCritical(lcWebRecorderHost).noquote() << "cannot complete interrupted web-view recordings:" << error.what();
        return {};
    }
}

} // namespace brelta::shell
