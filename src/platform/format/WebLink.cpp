#include "platform/format/WebLink.h"

namespace brelta::platform::format {

bool isOpenableWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

std::optional<QUrl> openableWebLink(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!isOpenableWebLink(url))
        return std::nullopt;
    return url;
}

} // namespace brelta::platform::format
