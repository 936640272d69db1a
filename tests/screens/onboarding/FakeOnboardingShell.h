#pragma once

#include "screens/onboarding/OnboardingSeams.h"

#include <QCoroSignal>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace brelta::testsupport::onboarding {

// Records what the flow asks of the shell, in order; the popover's shown state follows the calls.
class FakeOnboardingShell final : public screens::OnboardingShell
{
public:
    void showOnboardingPopover() override
    {
        calls << QStringLiteral("showOnboarding");
        popoverShown = true;
    }
    void closeOnboardingPopover() override
    {
        calls << QStringLiteral("closeOnboarding");
        popoverShown = false;
    }
    void showPostOnboardingHint() override { calls << QStringLiteral("showHint"); }
    bool openInBrowser(const QUrl &url) override
    {
        opened << url;
        return true;
    }
    void connectCalendar() override { calls << QStringLiteral("connectCalendar"); }
    void startMessagesPolling(std::chrono::seconds interval) override { polling.push_back(interval); }

    QStringList calls;
    QList<QUrl> opened;
    std::vector<std::chrono::seconds> polling;
    bool popoverShown = false;
};

// A Google account whose connection the test sets.
class FakeGoogleConnection final : public screens::GoogleConnection
{
public:
    bool hasConnectedUser() const override { return connected; }
    QCoro::Task<> signIn() override
    {
        ++signIns;
        // Like a browser sign-in, it ends when the account is connected.
        if (holdSignIn)
            co_await qCoro(this, &GoogleConnection::connectedUserChanged);
    }
    void setConnected(bool on)
    {
        connected = on;
        emit connectedUserChanged();
    }

    bool connected = false;
    bool holdSignIn = false;
    int signIns = 0;
};

} // namespace brelta::testsupport::onboarding
