#include "devserver/CoachPages.h"

#include <QUrl>
#include <QUrlQuery>

namespace brelta::devserver {

void CoachPages::install(RouteTable &routes)
{
    using Method = QHttpServerRequest::Method;
    routes.add(signInPath, Method::Get, [this](const QHttpServerRequest &) { return redirectWithCode(false); });
    routes.add(signUpPath, Method::Get, [this](const QHttpServerRequest &) { return redirectWithCode(true); });
}

QHttpServerResponse CoachPages::redirectWithCode(bool continueOnboarding)
{
    QUrl target(QStringLiteral("brelta://app/auth"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("code"), m_accounts.issueCode(m_seededUser));
    if (continueOnboarding)
        query.addQueryItem(QStringLiteral("onboarding"), QStringLiteral("true"));
    target.setQuery(query);
    const QByteArray link = target.toEncoded();
    qCInfo(lcDevServer).noquote() << "coach page: signing in" << m_seededUser.email;
    QHttpServerResponse response(QByteArrayLiteral("text/html; charset=utf-8"),
                                 "<!doctype html><title>Brelta</title><p><a href=\"" + link
                                     + "\">Open Brelta</a></p>\n",
                                 QHttpServerResponse::StatusCode::Found);
    response.setHeader(QByteArrayLiteral("Location"), link);
    return response;
}

} // namespace brelta::devserver
