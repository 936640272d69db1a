#pragma once

#include "calendar/CalendarEvent.h"
#include "recording/recorders/AudioRecordingState.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <QWidget>

#include <chrono>
#include <optional>

namespace brelta::designsystem {
class BodyView;
class BrandButton;
class BrandToggle;
} // namespace brelta::designsystem

namespace brelta::calendar {

// One meeting of the meetings panel: its title and time, "Now" while it runs or its "Notify me" switch,
// and, while it runs or starts within ten minutes, the button that joins it and records. The row reads
// the time and the recording state it is given; the panel gives them again each minute and on every
// change of the recording.
class EventView : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kStartsSoonWindow{600};

    // Both dates present and now strictly between them.
    static bool isOngoing(const CalendarEvent &event, const QDateTime &now);
    // A start still ahead by at most ten minutes.
    static bool startsSoon(const CalendarEvent &event, const QDateTime &now);
    // The action button's title for the recording state; none when there is no button (a recording runs
    // and the meeting has no link to join).
    static std::optional<QString> actionTitle(const CalendarEvent &event, recording::AudioRecordingState state);
    // "2:00-3:15pm": the start's time without its day period, the end's in lower case without spaces.
    // None when a date is missing.
    static std::optional<QString> timeRangeText(const CalendarEvent &event, const QLocale &locale,
                                                const QTimeZone &zone);
    // A row's identity in the list: a daily series shares its event id, so the start goes with it.
    static QString key(const CalendarEvent &event);

    // `nudgeOn`: where the "Notify me" switch starts.
    EventView(const CalendarEvent &event, bool nudgeOn, const QLocale &locale, const QTimeZone &zone,
              QWidget *parent = nullptr);

    const CalendarEvent &event() const { return m_event; }

    // Shows "Now" or the switch and the action button for this moment and recording state.
    void refresh(const QDateTime &now, recording::AudioRecordingState state);

    // The switch's position; the panel sets it to what the calendar answered.
    bool isNudgeOn() const;
    void setNudgeOn(bool on);

    bool showsNow() const;
    // The action button's title, or none while no button shows.
    std::optional<QString> shownActionTitle() const;
    designsystem::BrandButton *actionButton() const { return m_action; }
    designsystem::BrandToggle *nudgeToggle() const { return m_toggle; }
    QString timeText() const;

signals:
    // The user flipped "Notify me".
    void toggleRequested();
    // The user pressed the action button.
    void actionRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CalendarEvent m_event;
    designsystem::BodyView *m_time = nullptr;
    QWidget *m_now;
    QWidget *m_notify;
    designsystem::BrandToggle *m_toggle;
    designsystem::BrandButton *m_action;
};

} // namespace brelta::calendar
