#include "shell/routes/RouteRequest.h"

#include <QRegularExpression>
#include <QUrlQuery>

#include <utility>

namespace brelta::shell {

namespace {

const QString kScheme = QStringLiteral("brelta");
const QString kHost = QStringLiteral("app");

bool isAllowedParameterName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    return pattern.match(name).hasMatch();
}

bool isUrlSafe(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.~-]+$"));
    return pattern.match(text).hasMatch();
}

} // namespace

bool RouteRequest::hasSendableCode() const
{
    return code && !code->isEmpty() && code->size() <= kMaxCodeLength && isUrlSafe(*code);
}

RouteParse parseRouteUrls(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return {std::nullopt, QStringLiteral("no link")};
    return parseRouteUrl(urls.first());
}

RouteParse parseRouteUrl(const QUrl &url)
{
    if (!url.isValid())
        return {std::nullopt, QStringLiteral("an unreadable link: %1").arg(url.errorString())};
    // QUrl keeps the scheme in lower case already; the comparison says so anyway.
    if (url.scheme().compare(kScheme, Qt::CaseInsensitive) != 0)
        return {std::nullopt, QStringLiteral("a link of another scheme (%1)").arg(url.scheme().left(32))};
    if (url.host() != kHost)
        return {std::nullopt, QStringLiteral("a link to another host (%1)").arg(url.host().left(64))};

    RouteRequest request;
    request.path = url.path(QUrl::FullyDecoded);
    const QUrlQuery query(url);
    bool codeSeen = false;
    bool onboardingSeen = false;
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        // Only the first item of each name counts, even when it has no value.
        if (name == QLatin1String("code") && !std::exchange(codeSeen, true) && !value.isEmpty())
            request.code = value;
        if (name == QLatin1String("onboarding") && !std::exchange(onboardingSeen, true) && !value.isEmpty())
            request.onboarding = value;
        if (!isAllowedParameterName(name)) {
            request.droppedItems << QStringLiteral("an item with a name that is empty, too long or not plain (%1 "
                                                   "characters)")
                                        .arg(name.size());
        } else if (value.size() > RouteRequest::kMaxParameterValueLength) {
            request.droppedItems << QStringLiteral("\"%1\": a value of %2 characters").arg(name).arg(value.size());
        } else if (request.queryDictionary.contains(name)) {
            request.droppedItems << QStringLiteral("\"%1\": repeated").arg(name);
        } else if (request.queryDictionary.size() >= RouteRequest::kMaxSourceParameters) {
            request.droppedItems
                << QStringLiteral("\"%1\": beyond %2 items").arg(name).arg(RouteRequest::kMaxSourceParameters);
        } else {
            request.queryDictionary.insert(name, value);
        }
    }
    return {std::move(request), {}};
}

QList<QUrl> routeUrlsFromArguments(const QStringList &arguments)
{
    QList<QUrl> urls;
    // The first argument is the program; options are no links. Any other argument is taken as a link, so
    // that one of a foreign scheme is refused by the router (and logged) rather than opening a popover.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-')) && arguments[i].contains(QLatin1Char(':')))
            urls.append(QUrl(arguments[i], QUrl::StrictMode));
    }
    return urls;
}

} // namespace brelta::shell
