#pragma once

#include <QString>

// Keys of the user-defaults values the shell writes and lower layers read.
namespace brelta::shell::storedvalues {

// The signed-in user's e-mail address; an empty text after a sign-out (absent and empty differ).
inline const QString kUsername = QStringLiteral("username");
inline const QString kUserId = QStringLiteral("userId");

} // namespace brelta::shell::storedvalues
