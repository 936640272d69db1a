#include "devserver/Accounts.h"

#include <QRandomGenerator>
#include <QUuid>

#include <array>

namespace brelta::devserver {
namespace {

// 256 random bits, URL-safe: long enough that a guessed token never hits.
QString randomToken(QStringView prefix)
{
    std::array<quint32, 8> words;
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), sizeof(words));
    return prefix.toString()
           + QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

std::optional<User> Accounts::addUser(const QString &email, const QString &password)
{
    for (const User &user : std::as_const(m_usersById)) {
        if (user.email.compare(email, Qt::CaseInsensitive) == 0)
            return std::nullopt;
    }
    User user{QUuid::createUuid().toString(QUuid::WithoutBraces), email, password};
    m_usersById.insert(user.id, user);
    return user;
}

std::optional<User> Accounts::userWithPassword(const QString &email, const QString &password) const
{
    for (const User &user : m_usersById) {
        if (user.email.compare(email, Qt::CaseInsensitive) == 0 && user.password == password)
            return user;
    }
    return std::nullopt;
}

QString Accounts::issueCode(const User &user)
{
    const QString code = randomToken(u"code_");
    m_codes.insert(code, user.id);
    return code;
}

std::optional<TokenGrant> Accounts::redeemCode(const QString &code)
{
    const QString userId = m_codes.take(code);
    return userId.isEmpty() ? std::nullopt : grantFor(userId);
}

std::optional<TokenGrant> Accounts::redeemRefreshToken(const QString &refreshToken)
{
    const QString userId = m_refreshTokens.take(refreshToken);
    return userId.isEmpty() ? std::nullopt : grantFor(userId);
}

std::optional<User> Accounts::userForAccessToken(const QString &accessToken) const
{
    const auto it = m_accessTokens.constFind(accessToken);
    if (it == m_accessTokens.constEnd() || Clock::now() >= it->expiresAt)
        return std::nullopt;
    return m_usersById.value(it->userId);
}

std::optional<TokenGrant> Accounts::grantFor(const QString &userId)
{
    const auto user = m_usersById.constFind(userId);
    if (user == m_usersById.constEnd())
        return std::nullopt;

    // A long-running server would otherwise keep every access token it ever issued.
    const auto now = Clock::now();
    m_accessTokens.removeIf([now](const auto &entry) { return now >= entry.value().expiresAt; });

    TokenGrant grant{randomToken(u"at_"), randomToken(u"rt_"), m_lifetime.count(), *user};
    m_accessTokens.insert(grant.accessToken, AccessToken{userId, now + m_lifetime});
    m_refreshTokens.insert(grant.refreshToken, userId);
    return grant;
}

} // namespace brelta::devserver
