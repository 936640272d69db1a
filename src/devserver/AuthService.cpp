#include "devserver/AuthService.h"

namespace brelta::devserver {
namespace {

Json grantBody(const TokenGrant &grant)
{
    return Json{{"accessToken", grant.accessToken.toStdString()},
                {"refreshToken", grant.refreshToken.toStdString()},
                {"accessTokenExpiresInSeconds", grant.accessTokenLifetimeSeconds},
                {"identity", Json{{"id", grant.user.id.toStdString()}, {"email", grant.user.email.toStdString()}}}};
}

struct Credentials
{
    QString name;
    QString password;
};

// The two texts of a sign-in or sign-up body, under `nameKey` and "password".
std::optional<Credentials> credentials(const QHttpServerRequest &request, const char *nameKey)
{
    const auto body = jsonObjectBody(request);
    const auto name = body ? stringMember(*body, nameKey) : std::nullopt;
    const auto password = body ? stringMember(*body, "password") : std::nullopt;
    if (!name || !password)
        return std::nullopt;
    return Credentials{QString::fromStdString(*name), QString::fromStdString(*password)};
}

} // namespace

void AuthService::install(RouteTable &routes)
{
    using Method = QHttpServerRequest::Method;
    routes.add(passwordPath, Method::Post, [this](const QHttpServerRequest &r) { return passwordSignIn(r); });
    routes.add(tokenPath, Method::Post, [this](const QHttpServerRequest &r) { return token(r); });
    routes.add(signUpPath, Method::Post, [this](const QHttpServerRequest &r) { return signUp(r); });
}

std::optional<User> AuthService::authenticate(const QHttpServerRequest &request) const
{
    const QByteArray authorization = headerValue(request, "Authorization");
    static constexpr QByteArrayView scheme("Bearer ");
    if (!authorization.startsWith(scheme))
        return std::nullopt;
    const QString token = QString::fromLatin1(authorization.mid(scheme.size()).trimmed());
    return m_accounts.userForAccessToken(token);
}

QHttpServerResponse AuthService::unauthorized()
{
    QHttpServerResponse response = errorResponse(401, QStringLiteral("missing, unknown or expired access token"));
    response.setHeader(QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Bearer error=\"invalid_token\""));
    return response;
}

QHttpServerResponse AuthService::passwordSignIn(const QHttpServerRequest &request)
{
    if (request.query().queryItemValue(QStringLiteral("realm")) != realm)
        return errorResponse(400, QStringLiteral("unknown realm"));
    const auto given = credentials(request, "username");
    if (!given)
        return errorResponse(400,
                             QStringLiteral("expected a JSON object with the texts \"username\" and \"password\""));

    const auto user = m_accounts.userWithPassword(given->name, given->password);
    if (!user)
        return errorResponse(401, QStringLiteral("wrong e-mail address or password"));
    qCDebug(lcDevServer) << "password sign-in of" << user->email;
    return jsonResponse(Json{{"code", m_accounts.issueCode(*user).toStdString()}});
}

QHttpServerResponse AuthService::token(const QHttpServerRequest &request)
{
    const auto body = jsonObjectBody(request);
    if (!body || body->size() != 1)
        return errorResponse(400,
                             QStringLiteral("expected a JSON object with exactly one of \"code\" or \"refreshToken\""));

    if (const auto code = stringMember(*body, "code")) {
        const auto grant = m_accounts.redeemCode(QString::fromStdString(*code));
        if (!grant)
            return errorResponse(401, QStringLiteral("unknown or already used code"));
        return jsonResponse(grantBody(*grant));
    }
    if (const auto refreshToken = stringMember(*body, "refreshToken")) {
        const auto grant = m_accounts.redeemRefreshToken(QString::fromStdString(*refreshToken));
        if (!grant)
            return errorResponse(401, QStringLiteral("unknown or already used refresh token"));
        return jsonResponse(grantBody(*grant));
    }
    return errorResponse(400, QStringLiteral("expected the text \"code\" or \"refreshToken\""));
}

QHttpServerResponse AuthService::signUp(const QHttpServerRequest &request)
{
    const auto given = credentials(request, "email");
    if (!given || given->name.isEmpty() || given->password.isEmpty())
        return errorResponse(400, QStringLiteral("expected a JSON object with a non-empty \"email\" and \"password\""));

    const auto user = m_accounts.addUser(given->name, given->password);
    if (!user)
        return errorResponse(409, QStringLiteral("an account with this e-mail address exists"));
    qCInfo(lcDevServer) << "signed up" << user->email;
    return jsonResponse(Json{{"authCode", m_accounts.issueCode(*user).toStdString()}});
}

} // namespace brelta::devserver
