#pragma once

#include <QCoroTask>
#include <QString>

#include <optional>

namespace brelta::calendar {

// Access tokens for the connected Google account, as the Calendar reader needs them.
class GoogleAccess
{
public:
    virtual ~GoogleAccess() = default;

    // A current access token, refreshed first when it has expired; none when no account is connected.
    // Throws when a needed refresh fails.
    virtual QCoro::Task<std::optional<QString>> accessToken() = 0;
    // Google refused `rejected` (401): a fresh token, or none when no account is connected any more.
    // Concurrent callers with the same rejected token share one refresh.
    virtual QCoro::Task<std::optional<QString>> refreshedAccessToken(QString rejected) = 0;
};

} // namespace brelta::calendar
