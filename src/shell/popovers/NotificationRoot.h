#pragma once

#include "messages/MessageCards.h"

#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brelta::backend {
class ApiClient;
}
namespace brelta::designsystem {
class NotificationWrapperView;
}
namespace brelta::messages {
class NotificationStore;
}
namespace brelta::platform {
class Clock;
class Timer;
} // namespace brelta::platform

namespace brelta::shell {

// What the notification popover's content works with. Every pointer must outlive it.
struct NotificationRootServices
{
    messages::NotificationStore *store = nullptr;
    backend::ApiClient *client = nullptr;
    platform::Clock *clock = nullptr;
    messages::CardServices cards;
    // The popover that holds this content: whether it is shown, closing it, and giving it a content size.
    std::function<bool()> isPopoverShown;
    std::function<void()> closePopover;
    std::function<void(QSize)> setContentSize;
};

// The notification popover's content: the head of the message queue as its card, with the close controls
// in the card's top-right corner ("Close all" and "Next" while two or more wait). Each message shown is
// reported to the backend, and one auto-close timer closes the popover 15 s (30 min for a meeting about to
// start) after the head last changed. Closing removes later, by id, only what was queued at the close, so a
// message arriving meanwhile stays.
class NotificationRoot : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kAutoClose{15};
    static constexpr std::chrono::seconds kMeetingStartAutoClose{1800};
    static constexpr std::chrono::milliseconds kRemovalDelay{500};
    static constexpr int kControlsInset = 8;

    explicit NotificationRoot(NotificationRootServices services, QWidget *parent = nullptr);
    ~NotificationRoot() override;

    // Dismisses the shown message: at once when another waits behind it; else the popover closes and the
    // message goes half a second later.
    void closeCurrent();
    // Closes the popover, reports every queued message and removes them half a second later.
    void closeAll();
    // Closes the popover when shown and removes, half a second later, the messages queued now. The
    // auto-close timer, the meeting-end card and the shell's own close come here.
    void closePopoverAndClear();
    // Opens a report's dashboard page (http and https only; anything else does nothing), then closeCurrent.
    void openDashboardUrl(const QUrl &url);

    // The card shown now, null with an empty queue.
    QWidget *card() const;
    // The interval the auto-close timer runs with; none when it is not running.
    std::optional<std::chrono::milliseconds> autoCloseInterval() const;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void onQueueChanged();
    void rebuildCard();
    void rebuildControls();
    void placeControls();
    void scheduleAutoClose();
    void removeLater(const QStringList &ids);
    void reportInteractions(const QStringList &ids);

    NotificationRootServices m_services;
    std::unique_ptr<platform::Timer> m_autoClose;
    // Removals waiting for their half second, each on its own timer.
    std::vector<std::unique_ptr<platform::Timer>> m_removals;
    QPointer<designsystem::NotificationWrapperView> m_wrapper;
    QWidget *m_controls = nullptr;
    QString m_headId; // the id of the message whose card is shown
};

} // namespace brelta::shell
