#pragma once

#include "backend/client/SessionDelegate.h"

#include <QPointer>

namespace brelta::shell {

class AppDelegate;

// The application delegate as the lower folders reach it. It exists before the delegate publishes itself
// (the first step of the launch), so the backend client can be built with it; until then a call has no
// shell to reach and is logged instead.
class SharedAppDelegate final : public backend::SessionDelegate
{
public:
    void publish(AppDelegate *delegate);
    AppDelegate *delegate() const { return m_delegate; }

    void logOut() override;
    void setUser(const QString &userId, const QString &username) override;

private:
    QPointer<AppDelegate> m_delegate;
};

} // namespace brelta::shell
