#pragma once

#include <QString>

namespace brelta::shell {

// What the lower layers need of the application shell's session handling. The shell's application
// delegate implements it; the backend client holds it to sign the user out when the backend refuses the
// session, and the sign-in screens hand it the identity that a sign-in returned.
class SessionHooks
{
public:
    virtual ~SessionHooks() = default;

    // Ends the session on the main thread: closes the popovers, forgets the stored user, clears the
    // backend client's tokens (ApiClient::clearSession) and shows onboarding again.
    virtual void logOut() = 0;

    // Makes an identity the signed-in user: stores its e-mail address under "username" and its id under
    // "userId", and tells analytics who the user is.
    virtual void setUser(const QString &userId, const QString &username) = 0;
};

} // namespace brelta::shell
