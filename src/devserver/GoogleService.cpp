#include "devserver/GoogleService.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>

namespace brelta::devserver {
namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

const QStringList &requiredScopes()
{
    static const QStringList scopes{QStringLiteral("openid"), QStringLiteral("email"), GoogleService::calendarScope};
    return scopes;
}

// A form body as browsers and HTTP clients send it: "+" is a space, everything else percent-decoded once.
QHash<QString, QString> formFields(const QByteArray &body)
{
    QHash<QString, QString> fields;
    for (const QByteArray &pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        auto decode = [](QByteArray part) { return QUrl::fromPercentEncoding(part.replace('+', ' ')); };
        fields.insert(decode(pair.left(equals)), equals < 0 ? QString() : decode(pair.mid(equals + 1)));
    }
    return fields;
}

QHttpServerResponse oauthError(int status, const char *error, const QString &description)
{
    return jsonResponse(Json{{"error", error}, {"error_description", description.toStdString()}}, status);
}

bool isLoopbackRedirect(const QUrl &url)
{
    const QString host = url.host();
    return url.isValid() && url.scheme() == QLatin1String("http") && url.port() > 0
           && (host == QLatin1String("127.0.0.1") || host == QLatin1String("::1")
               || host == QLatin1String("localhost"));
}

// An event's start or end: "dateTime" for a timed one, "date" (midnight UTC here) for an all-day one.
QDateTime eventInstant(const Json &event, const char *key)
{
    const auto it = event.find(key);
    if (it == event.end() || !it->is_object())
        return {};
    if (const auto dateTime = stringMember(*it, "dateTime"))
        return QDateTime::fromString(QString::fromStdString(*dateTime), Qt::ISODateWithMs);
    if (const auto date = stringMember(*it, "date"))
        return QDate::fromString(QString::fromStdString(*date), Qt::ISODate).startOfDay(Qt::UTC);
    return {};
}

} // namespace

void GoogleService::install(RouteTable &routes)
{
    using Method = QHttpServerRequest::Method;
    routes.add(authPath, Method::Get, [this](const QHttpServerRequest &request) { return authorize(request); });
    routes.add(tokenPath, Method::Post, [this](const QHttpServerRequest &request) { return token(request); });
    routes.add(eventsPath, Method::Get, [this](const QHttpServerRequest &request) { return events(request); });
}

void GoogleService::revokeGrants()
{
    m_refreshTokens.clear();
    m_accessTokens.clear();
}

std::vector<Json> GoogleService::demoDay(const QDateTime &now)
{
    const QDateTime start = now.toLocalTime();
    auto timed = [&](const char *id, const char *title, qint64 startIn, qint64 length) {
        return Json{
            {"iCalUID", std::string(id) + "@demo.brelta.test"},
            {"summary", title},
            {"start", {{"dateTime", start.addSecs(startIn).toUTC().toString(Qt::ISODate).toStdString()}}},
            {"end", {{"dateTime", start.addSecs(startIn + length).toUTC().toString(Qt::ISODate).toStdString()}}}};
    };
    Json soon = timed("demo-soon", "Weekly sync", 180, 1800);
    soon["hangoutLink"] = "https://meet.google.com/brl-demo-day";
    const QDate today = start.date();
    const Json allDay{{"iCalUID", "demo-all-day@demo.brelta.test"},
                      {"summary", "Team offsite"},
                      {"start", {{"date", today.toString(Qt::ISODate).toStdString()}}},
                      {"end", {{"date", today.addDays(1).toString(Qt::ISODate).toStdString()}}}};
    // Half-way to midnight, at most two hours ahead: still today late in the evening.
    const qint64 toMidnight = start.secsTo(today.addDays(1).startOfDay());
    const qint64 later = std::clamp<qint64>(toMidnight / 2, 900, 7200);
    return {timed("demo-now", "Design review", -900, 2700), allDay, soon,
            timed("demo-later", "1:1 with Sam", later, 1800)};
}

QString GoogleService::issueAccessToken()
{
    const QString access = QStringLiteral("ya29.fake-%1").arg(++m_serial);
    m_accessTokens.insert(access);
    return access;
}

QHttpServerResponse GoogleService::authorize(const QHttpServerRequest &request)
{
    const QUrlQuery query = request.query();
    auto item = [&](const char *key) { return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded); };

    if (item("client_id") != devClientId)
        return errorResponse(401, QStringLiteral("invalid_client: unknown client id"));
    if (item("response_type") != QLatin1String("code"))
        return errorResponse(400, QStringLiteral("invalid_request: response_type must be \"code\""));
    const QUrl redirect(item("redirect_uri"), QUrl::StrictMode);
    if (!isLoopbackRedirect(redirect))
        return errorResponse(400, QStringLiteral("redirect_uri_mismatch: only a loopback http address is allowed"));
    const QStringList scopes = item("scope").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &scope : requiredScopes()) {
        if (!scopes.contains(scope))
            return errorResponse(400, QStringLiteral("invalid_scope: missing %1").arg(scope));
    }
    const QString challenge = item("code_challenge");
    if (item("code_challenge_method") != QLatin1String("S256") || challenge.size() != 43)
        return errorResponse(400, QStringLiteral("invalid_request: an S256 code_challenge is required"));
    ++m_authorizations;

    // Built by hand so "/" and "+" in the code reach the app percent-encoded, as Google sends them.
    QByteArray back = "state=" + QUrl::toPercentEncoding(item("state"));
    if (m_deny) {
        back += "&error=access_denied";
    } else {
        const QString code = QStringLiteral("4/0Ab+%1/x+y").arg(++m_serial);
        QStringList granted = scopes;
        if (m_dropScope)
            granted.removeAll(calendarScope);
        m_codes.insert(code, PendingCode{challenge, redirect.toString(), granted.join(QLatin1Char(' '))});
        if (m_demoDay && m_authorizations == 1)
            m_events = demoDay(QDateTime::currentDateTime());
        back += "&code=" + QUrl::toPercentEncoding(code) + "&scope=" + QUrl::toPercentEncoding(granted.join(' '));
    }
    QUrl location = redirect;
    location.setQuery(QString::fromLatin1(back), QUrl::StrictMode);
    QHttpServerResponse found(QHttpServerResponse::StatusCode::Found);
    found.setHeader(QByteArrayLiteral("Location"), location.toEncoded());
    return found;
}

QHttpServerResponse GoogleService::token(const QHttpServerRequest &request)
{
    const QHash<QString, QString> form = formFields(request.body());
    if (form.value(QStringLiteral("client_id")) != devClientId)
        return oauthError(401, "invalid_client", QStringLiteral("unknown client id"));
    const QString grantType = form.value(QStringLiteral("grant_type"));

    if (grantType == QLatin1String("authorization_code")) {
        const auto pending = m_codes.constFind(form.value(QStringLiteral("code")));
        if (pending == m_codes.cend())
            return oauthError(400, "invalid_grant", QStringLiteral("unknown or used code"));
        const PendingCode code = *pending;
        m_codes.erase(pending); // one use, even a failed one, as Google does
        const QByteArray verifier = form.value(QStringLiteral("code_verifier")).toLatin1();
        const QByteArray expected = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
        if (verifier.isEmpty() || expected != code.challenge.toLatin1())
            return oauthError(400, "invalid_grant", QStringLiteral("code_verifier does not match the challenge"));
        if (form.value(QStringLiteral("redirect_uri")) != code.redirectUri)
            return oauthError(400, "redirect_uri_mismatch", QStringLiteral("redirect_uri differs from the consent's"));
        return grant(code.scope, true);
    }
    if (grantType == QLatin1String("refresh_token")) {
        const auto scope = m_refreshTokens.constFind(form.value(QStringLiteral("refresh_token")));
        if (scope == m_refreshTokens.cend())
            return oauthError(400, "invalid_grant", QStringLiteral("Token has been expired or revoked."));
        return grant(*scope, false);
    }
    return oauthError(400, "unsupported_grant_type", QStringLiteral("unknown grant_type"));
}

QHttpServerResponse GoogleService::grant(const QString &scope, bool withRefreshToken)
{
    const QString access = issueAccessToken();
    Json body{{"access_token", access.toStdString()},
              {"expires_in", 3599},
              {"scope", scope.toStdString()},
              {"token_type", "Bearer"},
              {"id_token", idToken().toStdString()}};
    if (withRefreshToken) {
        const QString refresh = QStringLiteral("1//fake-refresh-%1").arg(++m_serial);
        m_refreshTokens.insert(refresh, scope);
        body["refresh_token"] = refresh.toStdString();
    }
    return jsonResponse(body);
}

QByteArray GoogleService::idToken() const
{
    const Json header{{"alg", "RS256"}, {"typ", "JWT"}};
    const Json claims{{"iss", "https://accounts.google.com"},
                      {"aud", devClientId.toStdString()},
                      {"sub", "1000"},
                      {"email", m_email.toStdString()},
                      {"email_verified", true}};
    auto part = [](const Json &json) { return QByteArray::fromStdString(json.dump()).toBase64(kBase64Url); };
    return part(header) + '.' + part(claims) + '.' + QByteArray("unsigned").toBase64(kBase64Url);
}

QHttpServerResponse GoogleService::events(const QHttpServerRequest &request)
{
    const QByteArray authorization = headerValue(request, "Authorization");
    if (!authorization.startsWith("Bearer ") || !m_accessTokens.contains(QString::fromLatin1(authorization.mid(7)))) {
        return jsonResponse(
            Json{{"error", {{"code", 401}, {"message", "Request had invalid authentication credentials."}}}}, 401);
    }
    const QUrlQuery query = request.query();
    m_eventsQueries.append(query);
    auto item = [&](const char *key) { return query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded); };

    const QDateTime timeMin = QDateTime::fromString(item("timeMin"), Qt::ISODateWithMs);
    const QDateTime timeMax = QDateTime::fromString(item("timeMax"), Qt::ISODateWithMs);
    if (!timeMin.isValid() || !timeMax.isValid())
        return errorResponse(400, QStringLiteral("timeMin and timeMax must be RFC 3339 date-times"));
    bool numeric = true;
    const int maxResults = query.hasQueryItem(QStringLiteral("maxResults")) ? item("maxResults").toInt(&numeric) : 250;
    if (!numeric || maxResults < 1)
        return errorResponse(400, QStringLiteral("maxResults must be a positive number"));

    std::vector<std::pair<QDateTime, const Json *>> matching;
    for (const Json &event : m_events) {
        const QDateTime start = eventInstant(event, "start");
        const QDateTime end = eventInstant(event, "end");
        if (start.isValid() && end.isValid() && end > timeMin && start < timeMax)
            matching.emplace_back(start, &event);
    }
    std::stable_sort(matching.begin(), matching.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    if (matching.size() > size_t(maxResults))
        matching.resize(size_t(maxResults));
    Json items = Json::array();
    for (const auto &[start, event] : matching)
        items.push_back(*event);
    return jsonResponse(Json{{"kind", "calendar#events"}, {"items", items}});
}

} // namespace brelta::devserver
