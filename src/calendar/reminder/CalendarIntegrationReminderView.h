#pragma once

#include <QWidget>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class IconButton;
}

namespace brelta::calendar {

class CalendarManager;
class ReminderPopover;

// What the card acts on. The manager and the popover must outlive the card; analytics may be null.
struct ReminderCardServices
{
    CalendarManager *manager = nullptr;
    ReminderPopover *popover = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
};

// The card that asks a user without a connected calendar to connect one: "Connect Google Calendar" starts
// the Google connection, "Don't remind me" stops the reminders until the next sign-out, the close icon
// only closes the popover. The card closes its popover itself once the calendar is connected.
class CalendarIntegrationReminderView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPadding = 24;
    static inline const QString kHeading = QStringLiteral("Connect Google Calendar");
    static inline const QString kBody =
        QStringLiteral("Stay on top of your schedule and receive effortless reminders to use Brelta.");
    static inline const QString kConnectTitle = QStringLiteral("Connect Google Calendar");
    static inline const QString kDeclineTitle = QStringLiteral("Don't remind me");

    explicit CalendarIntegrationReminderView(ReminderCardServices services, QWidget *parent = nullptr);

    // The controls' actions.
    void connectCalendar();
    void decline();
    void dismiss();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeCloseButton();

    ReminderCardServices m_services;
    designsystem::IconButton *m_close = nullptr;
};

} // namespace brelta::calendar
