#pragma once

// The shell with the in-app messages wired in: the application delegate over the local backend, whose
// message service is the real wiring (store, manager, notification popover, notifications panel). Links
// the cards open and alerts they raise are kept for the test; the cards' recording is scripted.

#include "ShellTestSupport.h"

#include "designsystem/components/Alert.h"
#include "devserver/MessagingService.h"
#include "messages/MessageFakes.h"
#include "messages/NotificationManager.h"
#include "messages/NotificationStore.h"
#include "shell/MessagesWiring.h"
#include "shell/popovers/NotificationRoot.h"

namespace brelta::testsupport::shell {

class KeptAlerts final : public designsystem::AlertPresenter
{
public:
    void showAlert(const QString &title, const QString &message) override { shown << (title + u'|' + message); }
    QStringList shown;
};

struct MessagesShellFixture : ShellFixture
{
    ~MessagesShellFixture()
    {
        // The popovers hold the content the wiring made; they go first.
        delegate.reset();
    }

    AppDelegate &makeMessagesDelegate()
    {
        messageService = &wiring;
        panelsOfTheDelegate = true;
        makeDelegate();
        wiring.assemble({delegate.get(), api.get(), &settings, &clock, &analytics, &cardRecording, &alerts,
                         [this](const QUrl &url) {
                             opened << url;
                             return true;
                         }});
        wiring.manager()->setTimeZone(QTimeZone::utc());
        return *delegate;
    }

    brelta::shell::NotificationRoot *root() const { return wiring.notificationRoot(); }
    brelta::messages::NotificationStore &store() const { return *wiring.store(); }
    brelta::messages::NotificationManager &manager() const { return *wiring.manager(); }
    QWidget *popover() const { return delegate->popovers()->window(PopoverKind::Notification); }
    bool popoverShown() const { return shown(PopoverKind::Notification); }

    qsizetype reports() const { return server.receivedRequests(devserver::MessagingService::reportPath).size(); }

    brelta::shell::MessagesWiring wiring;
    messages::FakeRecording cardRecording;
    KeptAlerts alerts;
    QList<QUrl> opened;
};

namespace message {

namespace Api = backend::ApiMessages;

inline Api::Message simpleText(const QString &id, const QString &title = QStringLiteral("Hello"))
{
    Api::Message m;
    m.messageId = id;
    m.content.simpleText = Api::SimpleTextMessageContent{title, QStringLiteral("A short word from your coach.")};
    m.schedule.asap = Api::AsapMessageSchedule{};
    return m;
}

inline Api::Message meetingReport(const QString &id, const std::optional<QString> &dashboardUrl)
{
    Api::Message m;
    m.messageId = id;
    Api::MeetingReportMessageContent report;
    report.messageTitle = QStringLiteral("Your meeting report is ready");
    report.summary = QStringLiteral("You spoke at a steady pace and asked three open questions.");
    report.dashboardUrl = dashboardUrl;
    report.meetingTimestamp = QStringLiteral("2024-03-05T14:30:00Z");
    report.wordsSaid = 412;
    report.meetingDuration = QStringLiteral("1834.5s");
    m.content.meetingReport = report;
    m.schedule.asap = Api::AsapMessageSchedule{};
    return m;
}

inline Api::Message meetingStart(const QString &id)
{
    Api::Message m;
    m.messageId = id;
    m.content.eventStartReminder = Api::EventStartReminderMessageContent{
        QStringLiteral("Weekly sync"), QStringLiteral("Starts in 5 minutes"), QStringLiteral("Open with the goal."),
        QStringLiteral("https://meet.example.com/abc")};
    m.schedule.asap = Api::AsapMessageSchedule{};
    return m;
}

} // namespace message

} // namespace brelta::testsupport::shell
