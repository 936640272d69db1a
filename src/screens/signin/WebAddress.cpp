#include "screens/WebAddress.h"

namespace brelta::screens::web {

QUrl compiledInBase()
{
    QUrl base;
    base.setScheme(QString::fromLatin1(kScheme));
    base.setHost(QString::fromLatin1(kHost));
    return base;
}

QUrl pageAt(const QUrl &base, const QString &path)
{
    const QString scheme = base.scheme();
    if (!base.isValid() || base.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return {};
    QUrl page = base;
    page.setPath(path);
    page.setQuery(QString());
    page.setFragment(QString());
    return page;
}

} // namespace brelta::screens::web
