#pragma once

#include <QString>
#include <QUrl>

namespace brelta::messages {

// What the message services and cards need of the application: the popovers, the main popover's
// recorder panel, the modal alert and the browser. The shell implements it.
class MessagesShell
{
public:
    virtual ~MessagesShell() = default;

    virtual bool isNotificationPopoverShown() const = 0;
    // Shows the notification popover without taking the focus.
    virtual void showNotificationPopover() = 0;
    // Closes the notification popover when shown; half a second later removes, by id, the messages that
    // were queued when it closed.
    virtual void closeNotificationPopover() = 0;
    // Opens the main popover on its recorder panel.
    virtual void showRecorderPanel() = 0;
    virtual void showRecordingStartedPopover() = 0;
    // A modal alert with one "Close" button.
    virtual void showModalAlert(const QString &title, const QString &message) = 0;
    // Opens the page in the user's browser. Callers pass only links that passed isOpenableLink().
    virtual void openUrl(const QUrl &url) = 0;
};

} // namespace brelta::messages
