#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace brelta::shell {

// A "brelta://app/…" link read into what the routes act on. Links come from web pages and other programs,
// so every part of one is untrusted: the reader accepts only our scheme and host, and trims what a link
// may carry into stored and uploaded data.
struct RouteRequest
{
    QString path;
    // One value per item name (the first one wins); becomes a recording's stored, uploaded source
    // parameters, so it holds only the items that pass the limits below.
    QMap<QString, QString> queryDictionary;
    // The value of the first item named exactly "code" / "onboarding"; absent without one or without a value.
    std::optional<QString> code;
    std::optional<QString> onboarding;
    // Why items were left out of queryDictionary, for the log.
    QStringList droppedItems;

    bool pathStartsWith(QLatin1StringView prefix) const { return path.startsWith(prefix); }
    // The code a sign-in may send: not empty, at most kMaxCodeLength characters, URL-safe characters only.
    bool hasSendableCode() const;

    static constexpr int kMaxSourceParameters = 20;
    static constexpr int kMaxParameterValueLength = 1024;
    static constexpr int kMaxCodeLength = 2048;
};

struct RouteParse
{
    std::optional<RouteRequest> request;
    // Why there is no request (empty list of URLs, another scheme or host, an unreadable URL).
    QString error;
};

// Reads the first of a batch of links; the others are ignored.
RouteParse parseRouteUrls(const QList<QUrl> &urls);
RouteParse parseRouteUrl(const QUrl &url);

// The links among a start's arguments (every argument with a scheme that is no option), of any scheme.
QList<QUrl> routeUrlsFromArguments(const QStringList &arguments);

} // namespace brelta::shell
