#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace brelta::platform {
class SettingsStore;
}
namespace brelta::recording {
class AudioRecorderManager;
class WebViewAudioRecorder;
} // namespace brelta::recording

namespace brelta::shell {

// Owns the process's one web-view recorder and its windowless page. The recorder exists from the start;
// setUp() (a launch step, once the tray is up) hands it to the recorder manager. The page starts a browser
// engine, so it loads only while the stored choices pick the web-view recorder: at setUp() if they do then,
// else as soon as they come to (a recording's start loads it in any case).
class WebRecorderHost : public QObject
{
    Q_OBJECT

public:
    WebRecorderHost(recording::AudioRecorderManager *manager, platform::SettingsStore *settings,
                    QObject *parent = nullptr);
    ~WebRecorderHost() override;

    void setUp();
    bool isSetUp() const { return m_setUp; }
    const std::shared_ptr<recording::WebViewAudioRecorder> &recorder() const { return m_recorder; }

    // Completes the web-view recordings a crash left in `folder` into the ".m4a" files the upload queue
    // recovers. Call it before the queue is made: the queue notes the folder's recordings when it is. Keeps
    // the event loop running until it is done; returns the files made.
    static QStringList recoverInterruptedRecordings(const QString &folder);

private:
    void loadPageIfChosen();

    recording::AudioRecorderManager *m_manager;
    platform::SettingsStore *m_settings;
    std::shared_ptr<recording::WebViewAudioRecorder> m_recorder;
    bool m_setUp = false;
};

} // namespace brelta::shell
