#pragma once

#include "screens/onboarding/OnboardingStep.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>

namespace brelta::platform {
class Clock;
class PermissionManager;
class SettingsStore;
class Timer;
} // namespace brelta::platform

namespace brelta::screens {

class GoogleConnection;
class OnboardingShell;

// Which onboarding page shows and what moves it on. One instance lives as long as the program; the
// onboarding popover's view shows its step, the sign-in link moves it to the microphone page.
//
// Every answer that arrives late (a permission probe, a timer) is checked against what happened
// meanwhile: a probe started for an earlier showing, or overtaken by a step change, is dropped. The
// finish path runs once per onboarding. Main thread only.
class OnboardingFlow : public QObject
{
    Q_OBJECT

public:
    struct Dependencies
    {
        platform::SettingsStore *settings = nullptr;
        platform::Clock *clock = nullptr;
        platform::PermissionManager *permissions = nullptr;
        OnboardingShell *shell = nullptr;
        // May be null: then no calendar is connected at the end.
        GoogleConnection *google = nullptr;
        // The web application's root and the token its sign-in pages send the user back with.
        QUrl webBase;
        QString redirectToken;
    };

    static constexpr std::chrono::milliseconds kFinishDelay{500};
    static constexpr std::chrono::seconds kTrialPollingInterval{5};
    static constexpr std::chrono::seconds kUsualPollingInterval{900};
    // Polling every few seconds for a report that may never come (the upload failed, the machine is
    // offline) must not go on for ever.
    static constexpr std::chrono::minutes kTrialPollingLimit{30};

    // Every dependency must outlive the flow.
    explicit OnboardingFlow(Dependencies dependencies, QObject *parent = nullptr);
    ~OnboardingFlow() override;

    OnboardingStep step() const { return m_step; }

    // The onboarding popover went from hidden to shown: the flow goes where the account and the permissions
    // call for. That needs the permission probes, whose answer comes later (welcome needs none).
    void shown();

    // Welcome.
    void signInPressed();
    void signUpPressed();
    static QUrl signInPage(const QUrl &webBase, const QString &redirectToken);
    static QUrl signUpPage(const QUrl &webBase, const QString &redirectToken);

    // The goals page's "Skip" or "Continue"; the calendar page's "Skip" or its hand-over. Each acts only
    // while its page is current.
    void goalsDone();
    void calendarDone();

    // The web sign-in handed a code back for a user who continues onboarding.
    void continueAtMicrophoneStep();

    // "Turn on": the consent is stored and the microphone probed; a failure ends onboarding.
    void turnOnMicrophone();
    // "Give access": probes the system audio again and opens the sound settings; the page stays.
    void giveSystemAudioAccess();

    // The trial recording was stopped and handed to the upload queue.
    void trialRecordingFinished();
    // "Skip" on the trial, "Got it", or the refused microphone.
    void finishOnboarding();
    bool isFinishing() const { return m_finish == Finish::Pending; }

signals:
    void stepChanged(brelta::screens::OnboardingStep step);

private:
    enum class Finish { None, Pending, Done };

    void goToStep(OnboardingStep step);
    void openWebPage(const QUrl &page);
    QCoro::Task<> applyInitialStep(quint64 showing, quint64 stepChange);
    QCoro::Task<> requestMicrophone(quint64 stepChange);
    void completeOnboarding();
    bool hasStoredUser() const;

    Dependencies m_deps;
    OnboardingStep m_step = OnboardingStep::Welcome;
    // Bumped by each showing and each step change; a late answer compares the numbers it started with.
    quint64 m_showing = 0;
    quint64 m_stepChange = 0;
    bool m_microphoneRequestRunning = false;
    Finish m_finish = Finish::None;
    std::unique_ptr<platform::Timer> m_finishTimer;
    std::unique_ptr<platform::Timer> m_pollingLimitTimer;
};

} // namespace brelta::screens
