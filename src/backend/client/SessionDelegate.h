#pragma once

#include <QString>

namespace brelta::backend {

// What the backend client and the sign-in screens need of the application's session handling. The shell's
// application delegate implements it and hands it in; the backend client holds it to sign the user out
// when the backend refuses the session, and the sign-in screens hand it the identity a sign-in returned.
class SessionDelegate
{
public:
    virtual ~SessionDelegate() = default;

    // Ends the session on the main thread: closes the popovers, forgets the stored user, clears the
    // backend client's tokens (ApiClient::clearSession) and shows onboarding again.
    virtual void logOut() = 0;

    // Makes an identity the signed-in user: stores its e-mail address under "username" and its id under
    // "userId", and tells analytics who the user is.
    virtual void setUser(const QString &userId, const QString &username) = 0;
};

} // namespace brelta::backend
