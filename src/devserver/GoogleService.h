#pragma once

#include "devserver/Http.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QUrlQuery>

#include <vector>

namespace brelta::devserver {

// A stand-in for Google's sign-in and Calendar endpoints, strict where the app could go wrong: the
// consent page checks the client, the loopback redirect, the scopes and the PKCE challenge; the token
// endpoint checks the verifier and the redirect again; the events list checks the bearer and answers
// only what the query asks for. Codes carry "/" and "+", as Google's do, so encoding faults show.
class GoogleService
{
public:
    static inline const QString authPath = QStringLiteral("/google/o/oauth2/auth");
    static inline const QString tokenPath = QStringLiteral("/google/token");
    static inline const QString calendarApiPath = QStringLiteral("/google/calendar/v3");
    static inline const QString eventsPath = calendarApiPath + QStringLiteral("/calendars/primary/events");
    static inline const QString devClientId = QStringLiteral("brelta-dev.apps.googleusercontent.com");
    static inline const QString calendarScope =
        QStringLiteral("https://www.googleapis.com/auth/calendar.events.readonly");

    void install(RouteTable &routes);

    // --- controls ---
    void setAccountEmail(const QString &email) { m_email = email; }
    QString accountEmail() const { return m_email; }
    // The consent page answers "access_denied", as when the user clicks Cancel.
    void setDenyConsent(bool deny) { m_deny = deny; }
    // The grant leaves out the calendar scope, as when the user unticks it.
    void setDropCalendarScope(bool drop) { m_dropScope = drop; }
    // Every refresh token issued so far stops working ("invalid_grant"); access tokens too.
    void revokeGrants();
    // A valid access token without the consent dance, for tests of the Calendar reader alone.
    QString issueAccessToken();
    // Access tokens issued so far are refused with 401; refresh tokens still work.
    void expireAccessTokens() { m_accessTokens.clear(); }
    // The calendar's events, in the Calendar API's event shape; listed ordered by start.
    void setEvents(std::vector<Json> events) { m_events = std::move(events); }
    // The queries the events list was asked, oldest first.
    const QList<QUrlQuery> &eventsQueries() const { return m_eventsQueries; }
    int authorizationCount() const { return m_authorizations; }
    // The first consent given fills the calendar with demoDay() of that moment, so that someone trying the
    // app by hand finds meetings to join. Off unless set; tests keep their own events.
    void setDemoDayOnFirstAuthorization(bool on) { m_demoDay = on; }

    // A day to try the meetings panel with, around `now` (local time): a meeting with a Meet-style link
    // starting in 3 minutes, one under way, an all-day event and a meeting later today.
    static std::vector<Json> demoDay(const QDateTime &now);

private:
    struct PendingCode
    {
        QString challenge;
        QString redirectUri;
        QString scope;
    };

    QHttpServerResponse authorize(const QHttpServerRequest &request);
    QHttpServerResponse token(const QHttpServerRequest &request);
    QHttpServerResponse events(const QHttpServerRequest &request);
    QHttpServerResponse grant(const QString &scope, bool withRefreshToken);
    QByteArray idToken() const;

    QString m_email = QStringLiteral("dev.calendar@brelta.test");
    bool m_deny = false;
    bool m_dropScope = false;
    bool m_demoDay = false;
    int m_authorizations = 0;
    quint64 m_serial = 0;
    QHash<QString, PendingCode> m_codes;
    QHash<QString, QString> m_refreshTokens; // token → granted scope
    QSet<QString> m_accessTokens;
    std::vector<Json> m_events;
    QList<QUrlQuery> m_eventsQueries;
};

} // namespace brelta::devserver
