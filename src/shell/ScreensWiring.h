#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::backend {
class ApiClient;
}
namespace brelta::platform {
class Clock;
class ErrorTracker;
class SettingsStore;
} // namespace brelta::platform
namespace brelta::recording {
class AudioRecorderManager;
}
namespace brelta::screens {
class CalendarConnection;
class SettingsWidgetView;
class SettingsWidgetViewModel;
} // namespace brelta::screens

namespace brelta::shell {

class MainView;

// Builds the screens the shell shows (the sign-in screen, the settings panel and the settings window's
// content) over the program's shared instances, and owns the one settings model they share.
class ScreensWiring : public QObject
{
    Q_OBJECT

public:
    struct Dependencies
    {
        backend::ApiClient *client = nullptr;
        platform::SettingsStore *settings = nullptr;
        platform::Clock *clock = nullptr;
        // Optional.
        platform::ErrorTracker *errorTracker = nullptr;
        analytics::AnalyticsManager *analytics = nullptr;
        QNetworkAccessManager *network = nullptr;
        recording::AudioRecorderManager *recorder = nullptr;
        screens::CalendarConnection *calendar = nullptr;
    };

    explicit ScreensWiring(Dependencies dependencies, QObject *parent = nullptr);
    ~ScreensWiring() override;

    screens::SettingsWidgetViewModel *settingsModel() const { return m_model.get(); }
    // The recorder is made after the delegate; it must be set before the settings panel is mounted.
    void setRecorder(recording::AudioRecorderManager *recorder) { m_deps.recorder = recorder; }

    // The main popover's signed-out content: the sign-in screen on the highlighted background, at the
    // onboarding popover's size. A sign-in reaches `didSignIn`; "Quit Brelta" runs `quit`.
    QWidget *makeSignInRoot(std::function<void(const QString &, const QString &)> didSignIn,
                            std::function<void()> quit);
    // Puts the settings panel into the main view's settings mode.
    void mountSettings(MainView *mainView);
    // The settings window's content.
    QWidget *makeSettingsView();

    // "Go to settings": the panel scrolls to and lights up its privacy card.
    void focusPrivacySettings();
    // The next user starts with a clean model.
    void signedOut();

private:
    Dependencies m_deps;
    std::unique_ptr<screens::SettingsWidgetViewModel> m_model;
    QPointer<screens::SettingsWidgetView> m_panel;
};

} // namespace brelta::shell
