#pragma once

#include "devserver/Accounts.h"
#include "devserver/Http.h"

namespace brelta::devserver {

// The authentication server ("/authn/password", "/token") and the gateway's sign-up, which hands out a
// code for the same token exchange. Also the bearer check every other endpoint starts with.
class AuthService
{
public:
    static inline const QString passwordPath = QStringLiteral("/authn/password");
    static inline const QString tokenPath = QStringLiteral("/token");
    static inline const QString signUpPath = QStringLiteral("/quombler/v2/SignUp");
    static inline const QString realm = QStringLiteral("tarvelo");

    explicit AuthService(Accounts &accounts) : m_accounts(accounts) {}

    void install(RouteTable &routes);

    // The user whose valid access token the request carries as "Authorization: Bearer …".
    std::optional<User> authenticate(const QHttpServerRequest &request) const;

    // The 401 every endpoint answers when authenticate() finds no user.
    static QHttpServerResponse unauthorized();

private:
    QHttpServerResponse passwordSignIn(const QHttpServerRequest &request);
    QHttpServerResponse token(const QHttpServerRequest &request);
    QHttpServerResponse signUp(const QHttpServerRequest &request);

    Accounts &m_accounts;
};

} // namespace brelta::devserver
