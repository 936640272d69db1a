#include "shell/MessagesWiring.h"

#include "designsystem/components/Alert.h"
#include "messages/CalendarLookahead.h"
#include "messages/MessagesShell.h"
#include "messages/NotificationManager.h"
#include "messages/NotificationStore.h"
#include "messages/NotificationsPanel.h"
#include "platform/AppError.h"
#include "shell/AppDelegate.h"
#include "shell/MainView.h"
#include "shell/MainViewViewModel.h"
#include "shell/popovers/MainRoot.h"
#include "shell/popovers/NotificationRoot.h"
#include "shell/popovers/Popovers.h"

#include <QDesktopServices>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMessagesWiring, "brelta.shell.MessagesWiring")

namespace brelta::shell {

namespace {

// The calendar while no calendar service is joined to the messages: not connected, so the tips do not
// wait for it; reading it is refused rather than answered with an invented "free".
class NotConnectedCalendar final : public messages::CalendarLookahead
{
public:
    bool isConnectedAndSynced() const override { return false; }
    QCoro::Task<bool> hasEventWithin(std::chrono::seconds) override
    {
        throw platform::AppError(platform::AppError::Kind::General, QStringLiteral("no calendar is connected"));
        co_return false;
    }
};

// The application as the message services and cards reach it.
class DelegateMessagesShell final : public messages::MessagesShell
{
public:
    DelegateMessagesShell(AppDelegate *delegate, designsystem::AlertPresenter *alerts,
                          std::function<bool(const QUrl &)> openUrl)
        : m_delegate(delegate)
        , m_alerts(alerts)
        , m_openUrl(std::move(openUrl))
    {}

    bool isNotificationPopoverShown() const override { return m_delegate->isPopoverShown(PopoverKind::Notification); }
    void showNotificationPopover() override { m_delegate->showPopover(PopoverKind::Notification, false); }
    void closeNotificationPopover() override { m_delegate->closeNotificationPopover(); }
    void showRecorderPanel() override
    {
        m_delegate->mainViewModel()->switchMode(MainViewMode::Recording, false);
        m_delegate->showMainPopover();
    }
    void showRecordingStartedPopover() override { m_delegate->showRecordingStartedPopover(); }
    void showModalAlert(const QString &title, const QString &message) override { m_alerts->showAlert(title, message); }
    void openUrl(const QUrl &url) override
    {
        if (!m_openUrl(url))
            qCWarning(lcMessagesWiring) << "the browser could not be opened for a message's link";
    }

private:
    AppDelegate *m_delegate;
    designsystem::AlertPresenter *m_alerts;
    std::function<bool(const QUrl &)> m_openUrl;
};

} // namespace

MessagesWiring::MessagesWiring() : m_notConnected(std::make_unique<NotConnectedCalendar>()) {}

MessagesWiring::~MessagesWiring() = default;

void MessagesWiring::assemble(MessagesWiringParts parts)
{
    if (m_manager) {
        qCWarning(lcMessagesWiring) << "the messages are already assembled";
        return;
    }
    m_parts = std::move(parts);
    AppDelegate *delegate = m_parts.delegate;
    if (!m_parts.alerts) {
        m_ownAlerts = std::make_unique<designsystem::ModalAlertPresenter>();
        m_parts.alerts = m_ownAlerts.get();
    }
    if (!m_parts.openUrl)
        m_parts.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_shell = std::make_unique<DelegateMessagesShell>(delegate, m_parts.alerts, m_parts.openUrl);
    m_store = std::make_unique<messages::NotificationStore>(m_parts.settings, m_parts.clock);
    m_manager = std::make_unique<messages::NotificationManager>(
        messages::NotificationManagerServices{m_parts.client, m_parts.settings, m_parts.clock, m_parts.analytics,
                                              delegate->errorTracker(), m_store.get(), m_parts.recording});
    m_manager->setShell(m_shell.get());
    m_manager->setCalendarLookahead(m_notConnected.get());

    NotificationRootServices root;
    root.store = m_store.get();
    root.client = m_parts.client;
    root.clock = m_parts.clock;
    root.cards = messages::CardServices{m_shell.get(), m_parts.recording, m_parts.analytics, delegate->errorTracker()};
    root.isPopoverShown = [delegate] { return delegate->isPopoverShown(PopoverKind::Notification); };
    root.closePopover = [delegate] { delegate->closePopover(PopoverKind::Notification); };
    root.setContentSize = [delegate](QSize size) {
        delegate->popovers()->setContentSize(PopoverKind::Notification, size);
    };
    // Before the launch sets up the popovers, which then keep this content.
    delegate->popovers()->setRoot(PopoverKind::Notification, new NotificationRoot(std::move(root)));

    // Timers that keep wall-clock times re-arm on wake; polling restarts there too.
    QObject::connect(delegate, &AppDelegate::systemWoke, m_manager.get(), &messages::NotificationManager::handleWake);
    // The main view exists once the launch has set up the popovers.
    QObject::connect(delegate, &AppDelegate::launchStepDone, m_manager.get(), [this](AppDelegate::LaunchStep step) {
        if (step == AppDelegate::LaunchStep::StatusItemAndPopovers)
            mountNotificationsPanel();
    });
}

void MessagesWiring::mountNotificationsPanel()
{
    auto *mainRoot = qobject_cast<MainRoot *>(m_parts.delegate->popovers()->window(PopoverKind::Main)->root());
    auto *mainView = mainRoot ? qobject_cast<MainView *>(mainRoot->mainView()) : nullptr;
    if (!mainView) {
        qCWarning(lcMessagesWiring) << "the main popover has no main view; the notifications panel is not shown";
        return;
    }
    mainView->setPanelContent(MainViewMode::Notifications, messages::NotificationsPanelContent::title(),
                              new messages::NotificationsPanelContent(m_store.get(), m_shell.get()));
}

void MessagesWiring::setCalendarLookahead(messages::CalendarLookahead *lookahead)
{
    if (m_manager)
        m_manager->setCalendarLookahead(lookahead ? lookahead : m_notConnected.get());
}

NotificationRoot *MessagesWiring::notificationRoot() const
{
    if (!m_parts.delegate)
        return nullptr;
    return qobject_cast<NotificationRoot *>(m_parts.delegate->popovers()->window(PopoverKind::Notification)->root());
}

// MessageService -----------------------------------------------------------------------------------------

void MessagesWiring::startMessagesPolling(std::chrono::seconds interval)
{
    if (!m_manager) {
        qCWarning(lcMessagesWiring) << "messages are not assembled yet; polling does not start";
        return;
    }
    m_manager->startMessagesPolling(interval);
}

void MessagesWiring::scheduleCoachingTips()
{
    if (!m_manager) {
        qCWarning(lcMessagesWiring) << "messages are not assembled yet; no coaching tips";
        return;
    }
    m_manager->scheduleCoachingTips();
}

void MessagesWiring::stopTimers()
{
    if (m_manager)
        m_manager->stopAllTimers();
}

void MessagesWiring::clearProcessedMessageIds()
{
    if (m_manager)
        m_manager->clearProcessedMessageIds();
}

void MessagesWiring::clearMessagesAndHistory()
{
    if (!m_store)
        return;
    // The next user must not find the last one's message open by the icon.
    if (m_parts.delegate->isPopoverShown(PopoverKind::Notification))
        m_parts.delegate->closePopover(PopoverKind::Notification);
    m_store->clear();
    m_store->clearHistory();
}

} // namespace brelta::shell
