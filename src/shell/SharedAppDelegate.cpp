#include "shell/SharedAppDelegate.h"

#include "shell/AppDelegate.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSharedAppDelegate, "brelta.shell.SharedAppDelegate")

namespace brelta::shell {

void SharedAppDelegate::publish(AppDelegate *delegate)
{
    m_delegate = delegate;
}

void SharedAppDelegate::logOut()
{
    if (!m_delegate) {
        qCWarning(lcSharedAppDelegate) << "sign-out asked for before the application delegate exists";
        return;
    }
    m_delegate->logOut();
}

void SharedAppDelegate::setUser(const QString &userId, const QString &username)
{
    if (!m_delegate) {
        qCWarning(lcSharedAppDelegate) << "a user was set before the application delegate exists";
        return;
    }
    m_delegate->setUser(userId, username);
}

} // namespace brelta::shell
