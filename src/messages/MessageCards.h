#pragma once

#include "backend/records/ApiMessages.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class BodyView;
class BrandButton;
} // namespace brelta::designsystem
namespace brelta::platform {
class ErrorTracker;
}

namespace brelta::messages {

class MessagesShell;
class RecordingControl;

// What the cards act on. Every pointer must outlive the cards; analytics and errorTracker may be null.
struct CardServices
{
    MessagesShell *shell = nullptr;
    RecordingControl *recording = nullptr;
    analytics::AnalyticsManager *analytics = nullptr;
    platform::ErrorTracker *errorTracker = nullptr;
};

// The content of the four message cards, each drawn by the notification popover inside its frame. No card
// draws a close control: the popover's controls close it. Texts from the backend are shown as plain text.

class SimpleTextCard : public QWidget
{
    Q_OBJECT

public:
    explicit SimpleTextCard(const backend::ApiMessages::SimpleTextMessageContent &content, QWidget *parent = nullptr);
};

class MeetingReportCard : public QWidget
{
    Q_OBJECT

public:
    // #A7A5AF, the information line's colour.
    static QColor defaultSecondaryColor() { return QColor(167, 165, 175); }

    MeetingReportCard(const backend::ApiMessages::MeetingReportMessageContent &content,
                      const QColor &secondaryColor = defaultSecondaryColor(), QWidget *parent = nullptr);

    // The information line's pieces in order, dots included as "•": for tests and accessibility.
    QStringList infoPieces() const { return m_pieces; }

signals:
    // "See more" was pressed; the link passed the http(s) check. The popover opens it and closes the card.
    void openDashboardUrl(const QUrl &url);

private:
    QStringList m_pieces;
};

// A calendar meeting is about to start: "Join & record", "Record" or "Join".
class EventStartReminderCard : public QWidget
{
    Q_OBJECT

public:
    EventStartReminderCard(const backend::ApiMessages::EventStartReminderMessageContent &content, CardServices services,
                           QWidget *parent = nullptr);

    // The button's action: closes the popover (actionTaken), opens the recorder panel and the meeting
    // link, and 0.3 s later starts a practice recording unless one runs.
    void joinAndRecord();

signals:
    // The popover closes itself and drops its queue.
    void actionTaken();

private:
    void refresh();

    backend::ApiMessages::EventStartReminderMessageContent m_content;
    CardServices m_services;
    designsystem::BodyView *m_body = nullptr;
    designsystem::BrandButton *m_button = nullptr;
};

// Asks, while a recording runs, whether the meeting has ended; "Stop" stops it.
class EventEndReminderCard : public QWidget
{
    Q_OBJECT

public:
    EventEndReminderCard(CardServices services, QWidget *parent = nullptr);

    QString elapsed() const;
    void stopAndClose();

protected:
    void showEvent(QShowEvent *event) override;

private:
    CardServices m_services;
    designsystem::BodyView *m_elapsed = nullptr;
};

// The card for a message: the first content alternative it carries, in the order simple text, meeting
// report, meeting start, meeting end; null when it carries none.
QWidget *makeMessageCard(const backend::ApiMessages::Message &message, CardServices services,
                         QWidget *parent = nullptr);

} // namespace brelta::messages
