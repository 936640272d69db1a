#pragma once

#include "recording/recorders/AudioRecordingState.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <chrono>

namespace brelta::screens {

// What the onboarding flow needs of the shell: its popovers, the browser, the calendar sync and the
// message polling. The shell implements it; tests fake it.
class OnboardingShell
{
public:
    virtual ~OnboardingShell() = default;

    // Shows the onboarding popover when it is not shown (an open one is left as it is) and takes the focus.
    virtual void showOnboardingPopover() = 0;
    // Closes it when it is shown.
    virtual void closeOnboardingPopover() = 0;
    // The hint that follows onboarding, with the focus.
    virtual void showPostOnboardingHint() = 0;
    // False when nothing could be asked to open it.
    virtual bool openInBrowser(const QUrl &url) = 0;
    // Starts the hourly calendar sync for the connected Google account.
    virtual void connectCalendar() = 0;
    virtual void startMessagesPolling(std::chrono::seconds interval) = 0;
};

// The Google account as the calendar page sees it.
class GoogleConnection : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A current Google user with a profile (an e-mail) exists.
    virtual bool hasConnectedUser() const = 0;
    // The browser sign-in; throws when it fails or is cancelled.
    virtual QCoro::Task<> signIn() = 0;

signals:
    // After every change of hasConnectedUser().
    void connectedUserChanged();
};

// The recording session as the trial-recording page drives it.
class TrialRecorder : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual recording::AudioRecordingState state() const = 0;
    // Whole seconds recorded so far.
    virtual qint64 recordingDuration() const = 0;
    // A microphone recording uploaded as an onboarding session; throws when it cannot start.
    virtual QCoro::Task<> startOnboardingRecording() = 0;
    // Finishes once the recording is handed to the upload queue; throws when the stop failed.
    virtual QCoro::Task<> stopRecording() = 0;

signals:
    void stateChanged();
    void durationChanged();
};

} // namespace brelta::screens
