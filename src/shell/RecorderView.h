#pragma once

#include "analytics/Event.h"
#include "shell/MicrophonePermissions.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class AlertPresenter;
class BodyView;
class IconButton;
class MediaPill;
} // namespace brelta::designsystem
namespace brelta::platform {
class ErrorTracker;
}

namespace brelta::shell {

class RecordingSession;

struct RecorderViewDependencies
{
    RecordingSession *session = nullptr;
    // None: no permission gate; a start that cannot open the microphone fails with the session's error.
    MicrophonePermissions *permissions = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    designsystem::AlertPresenter *alerts = nullptr;
    // May be null (not set up yet): failures are then only logged.
    platform::ErrorTracker *errorTracker = nullptr;
    // Opens the main popover again, after the microphone prompt was refused.
    std::function<void()> showMainPopover;
};

// The recorder row of the main popover: the way to start a recording (or first, the permissions it
// needs), or the running recording's stop and pause, or the paused one's "Continue" and stop, with the
// time recorded. Each control reports its interaction, then runs its own operation on the session; while
// one runs, the row ignores further presses, so a double click starts once and a stop never resumes.
class RecorderView : public QWidget
{
    Q_OBJECT

public:
    enum class Operation { Start, Stop, Pause, Resume };

    static inline const QString kFailureTitle = QStringLiteral("Something went wrong. Please try again");

    explicit RecorderView(RecorderViewDependencies dependencies, QWidget *parent = nullptr);
    ~RecorderView() override;

    // "%02d:%02d:%02d" of hours, minutes and seconds; hours grow past two digits.
    static QString durationText(qint64 seconds);

    // Both permissions the recording needs are there.
    bool hasRequiredPermissions() const;
    // An operation on the session is under way.
    bool isBusy() const { return m_busy; }

signals:
    // A session operation the row started has ended, well or not.
    void operationFinished();

private:
    void refresh();
    void press(analytics::event::ComponentName component, Operation operation);
    QCoro::Task<> run(Operation operation);
    void report(const std::exception_ptr &failure);
    void sendInteraction(analytics::event::ComponentName component) const;
    void requestMicrophone();
    QCoro::Task<> askForMicrophone();
    void allowSystemAudio();

    RecorderViewDependencies m_deps;
    QWidget *m_stoppedRow;
    designsystem::MediaPill *m_record;
    designsystem::MediaPill *m_allowMicrophone;
    designsystem::MediaPill *m_allowSystemAudio;
    QWidget *m_runningRow;
    designsystem::IconButton *m_stop;
    designsystem::IconButton *m_pause;
    designsystem::MediaPill *m_continue;
    designsystem::IconButton *m_stopPaused;
    designsystem::BodyView *m_duration;
    bool m_busy = false;
};

} // namespace brelta::shell
