#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <optional>

namespace brelta::devserver {

struct User
{
    QString id;
    QString email;
    QString password;
};

// What the token endpoint hands out.
struct TokenGrant
{
    QString accessToken;
    QString refreshToken;
    qint64 accessTokenLifetimeSeconds = 0;
    User user;
};

// The users and every credential issued to them: one-time sign-in codes, access tokens that expire, and
// refresh tokens that rotate (each one is good for exactly one refresh). All in memory.
class Accounts
{
public:
    static constexpr std::chrono::seconds defaultAccessTokenLifetime{3600};

    // Adds a user; empty when the e-mail address is taken (compared case-insensitively).
    std::optional<User> addUser(const QString &email, const QString &password);

    std::optional<User> userWithPassword(const QString &email, const QString &password) const;

    // A fresh one-time code that the token endpoint trades for tokens.
    QString issueCode(const User &user);

    // Trades a code or a refresh token; empty when it is unknown or already used.
    std::optional<TokenGrant> redeemCode(const QString &code);
    std::optional<TokenGrant> redeemRefreshToken(const QString &refreshToken);

    // The owner of an access token that exists and has not expired.
    std::optional<User> userForAccessToken(const QString &accessToken) const;

    // Applies to tokens issued from now on; 0 makes every new access token expired at once.
    void setAccessTokenLifetime(std::chrono::seconds lifetime) { m_lifetime = lifetime; }
    std::chrono::seconds accessTokenLifetime() const { return m_lifetime; }

private:
    using Clock = std::chrono::steady_clock;

    struct AccessToken
    {
        QString userId;
        Clock::time_point expiresAt;
    };

    std::optional<TokenGrant> grantFor(const QString &userId);

    QHash<QString, User> m_usersById;
    QHash<QString, QString> m_codes; // code -> user id
    QHash<QString, AccessToken> m_accessTokens;
    QHash<QString, QString> m_refreshTokens; // refresh token -> user id
    std::chrono::seconds m_lifetime = defaultAccessTokenLifetime;
};

} // namespace brelta::devserver
