#pragma once

#include "calendar/CalendarEvent.h"

#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QTimeZone>
#include <QWidget>

#include <chrono>
#include <memory>

class QVBoxLayout;

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class WidgetContainerView;
}
namespace brelta::platform {
class Clock;
class ErrorTracker;
class Timer;
} // namespace brelta::platform

namespace brelta::calendar {

class CalendarManager;
class EventView;
class MeetingRecorder;
class MeetingsShell;

// What the meetings panel works with. Every pointer must outlive the panel; analytics and errorTracker
// may be null.
struct CalendarWidgetServices
{
    CalendarManager *manager = nullptr;
    MeetingRecorder *recorder = nullptr;
    MeetingsShell *shell = nullptr;
    platform::Clock *clock = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    platform::ErrorTracker *errorTracker = nullptr;
};

// The content of the main popover's meetings page: today's meetings from the connected calendar, each
// with its "Notify me" switch and, close to its start, the button that joins it and records; without a
// connected calendar, the card that connects one. Each time it is shown while connected it reads the
// calendar again, through placeholder rows. While shown it looks at the clock each minute, so a meeting
// gets its button ten minutes before it starts and "Now" once it has. Times read in the widget's locale.
class CalendarWidgetView : public QWidget
{
    Q_OBJECT

public:
    enum class State { NotConnected, Loading, Failed, Empty, List };
    static constexpr std::chrono::seconds kClockCheckInterval{60};

    // The panel frame's back-button title.
    static QString title() { return QStringLiteral("Meetings"); }

    explicit CalendarWidgetView(CalendarWidgetServices services, QWidget *parent = nullptr);
    ~CalendarWidgetView() override;

    // The zone of the meetings' times; the system's by default.
    void setTimeZone(const QTimeZone &zone);
    // The panel frame around this content: its header carries "Refresh" while the calendar is connected.
    void setFrame(designsystem::WidgetContainerView *frame);

    State state() const;
    // The meetings of the last successful reading, in start order.
    const QList<CalendarEvent> &events() const { return m_events; }
    QList<EventView *> rows() const;
    // The row of a meeting, by EventView::key; null when it is not listed.
    EventView *row(const QString &key) const;
    QWidget *refreshButton() const { return m_refreshButton; }

    // Reads today's meetings again (reschedules their nudges), showing placeholders meanwhile.
    void refresh();
    // The connect card's action.
    void connectCalendar();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QCoro::Task<> runRefresh(quint64 generation);
    void syncedChanged(bool synced);
    void render();
    void updateRows();
    void updateHeader();
    QWidget *buildList();
    QWidget *buildPlaceholders();
    QWidget *buildEmptyCard();
    QWidget *buildConnectCard();
    QWidget *buildFailure();
    QWidget *scrolling(QWidget *content);
    void toggleNudge(EventView *row);
    void startMeeting(const CalendarEvent &event);

    CalendarWidgetServices m_services;
    QTimeZone m_zone;
    QPointer<designsystem::WidgetContainerView> m_frame;
    QPointer<QWidget> m_refreshButton;
    std::unique_ptr<platform::Timer> m_clockCheck;
    QVBoxLayout *m_layout;
    QWidget *m_body = nullptr;
    QList<EventView *> m_rows;
    QList<CalendarEvent> m_events;
    bool m_loading = true;
    bool m_failed = false;
    quint64 m_generation = 0;
};

} // namespace brelta::calendar
