#pragma once

#include "shell/popovers/PlaceholderRoots.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace brelta::designsystem {
class BodyView;
class BrandButton;
} // namespace brelta::designsystem
namespace brelta::platform {
class Clock;
class SettingsStore;
class Timer;
} // namespace brelta::platform

namespace brelta::shell {

class RecordingSession;

// "Brelta is currently on", and while privacy control is off, the headset warning with "Go to settings".
// The stored switch is read each time the popover shows.
class RecordingStartedRoot : public PopoverSurface
{
    Q_OBJECT

public:
    RecordingStartedRoot(platform::SettingsStore *settings, std::function<void()> goToSettings,
                         QWidget *parent = nullptr);

    bool isWarningShown() const;
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    platform::SettingsStore *m_settings;
    QWidget *m_warning;
};

// "Session finished" and when the feedback comes.
class RecordingEndedRoot : public PopoverSurface
{
    Q_OBJECT

public:
    explicit RecordingEndedRoot(QWidget *parent = nullptr);
};

// "Brelta is currently on", and within the last 15 minutes the minutes left with "Extend".
class RecordingReminderRoot : public PopoverSurface
{
    Q_OBJECT

public:
    static constexpr int kExtendRowMinutes = 15;
    static constexpr double kExtensionSeconds = 7200;

    // Whole minutes of the maximum less whole minutes recorded; never below 1.
    static int minutesLeft(double maxRecordingSeconds, qint64 recordedSeconds);
    static QString minutesLeftText(int minutes);

    // `close` closes this popover; "Extend" calls it, then lengthens the session by two hours.
    RecordingReminderRoot(RecordingSession *session, std::function<void()> close, QWidget *parent = nullptr);

    bool isExtendRowShown() const;
    QString minutesText() const;
    // The height the content needs at `width`: more than the notice alone once the "Extend" row shows.
    int heightAt(int width) const;
    void refresh();

private:
    void extend();

    QPointer<RecordingSession> m_session;
    std::function<void()> m_close;
    QWidget *m_extendRow;
    designsystem::BodyView *m_minutes;
};

// "Click here to record anytime", which closes on a tap or 3 s after it shows.
class PostOnboardingRoot : public PopoverSurface
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kShownFor{3000};

    PostOnboardingRoot(platform::Clock *clock, std::function<void()> close, QWidget *parent = nullptr);
    ~PostOnboardingRoot() override;

protected:
    void showEvent(QShowEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::function<void()> m_close;
    std::unique_ptr<platform::Timer> m_timer;
};

} // namespace brelta::shell
