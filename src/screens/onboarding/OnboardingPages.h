#pragma once

#include <QWidget>

#include <functional>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class BrandButton;
class MediaPill;
class SuccessBanner;
class BodyView;
} // namespace brelta::designsystem

namespace brelta::screens {

class GoogleConnection;
class OnboardingIconElement;
class TrialRecorder;
class TrialRecordingControl;

// The pages of the steps other than goals. Each reports to the flow through the actions it is given.

QWidget *makeWelcomePage(std::function<void()> onSignInPress, std::function<void()> onSignUpPress,
                         std::function<void()> onQuit);
QWidget *makeMicrophonePermissionPage(std::function<void()> onAllow);
QWidget *makeSystemAudioPermissionPage(std::function<void()> onAllow);
QWidget *makePostRecordingPage(std::function<void()> onGoNext);

// The calendar page: skips itself when shown with a Google account connected; a connection made while it
// shows brings the banner and the busy button, hides "Skip" and hands over a moment later. One browser
// sign-in at a time; a failed one changes nothing.
class CalendarSyncPage : public QWidget
{
    Q_OBJECT

public:
    CalendarSyncPage(GoogleConnection *google, const analytics::AnalyticsManager *analytics,
                     std::function<void()> onGoNext, QWidget *parent = nullptr);

    bool hasSynced() const { return m_hasSynced; }
    designsystem::BrandButton *connectButton() const { return m_connect; }
    designsystem::SuccessBanner *banner() const { return m_banner; }
    OnboardingIconElement *page() const { return m_page; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void connectPressed();
    void accountChanged();

    GoogleConnection *m_google;
    const analytics::AnalyticsManager *m_analytics;
    std::function<void()> m_onGoNext;
    OnboardingIconElement *m_page;
    designsystem::SuccessBanner *m_banner;
    designsystem::BrandButton *m_connect;
    bool m_hasSynced = false;
    bool m_signInRunning = false;
    bool m_wasConnected = false;
};

// The trial page: "Record" / "Stop" and the running time while recording.
class TryRecordingPage : public QWidget
{
    Q_OBJECT

public:
    static inline const QString kSubtitle = QStringLiteral(
        "Start by answering this question:\n\n \"If you could travel anywhere in the world, where would you go and "
        "why?\"");

    TryRecordingPage(TrialRecorder *recorder, TrialRecordingControl *control, std::function<void()> onSkip,
                     QWidget *parent = nullptr);

    designsystem::MediaPill *recordPill() const { return m_record; }
    designsystem::MediaPill *stopPill() const { return m_stop; }
    designsystem::BodyView *elapsed() const { return m_elapsed; }

private:
    void refresh();

    TrialRecorder *m_recorder;
    TrialRecordingControl *m_control;
    designsystem::BodyView *m_elapsed;
    designsystem::MediaPill *m_record;
    designsystem::MediaPill *m_stop;
};

} // namespace brelta::screens
