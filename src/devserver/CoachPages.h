#pragma once

#include "devserver/Accounts.h"
#include "devserver/Http.h"

namespace brelta::devserver {

// The web sign-in and sign-up pages as the program meets them: each issues a one-time code for the
// seeded user and sends the browser on to "brelta://app/auth?code=…" (sign-up adds "onboarding=true", so
// onboarding goes on at the microphone step). The page also holds the link, for a browser that does not
// follow a redirect to another scheme.
class CoachPages
{
public:
    static inline const QString signInPath = QStringLiteral("/coach/auth");
    static inline const QString signUpPath = QStringLiteral("/coach/signup");

    CoachPages(Accounts &accounts, const User &seededUser) : m_accounts(accounts), m_seededUser(seededUser) {}

    void install(RouteTable &routes);

private:
    QHttpServerResponse redirectWithCode(bool continueOnboarding);

    Accounts &m_accounts;
    const User &m_seededUser;
};

} // namespace brelta::devserver
