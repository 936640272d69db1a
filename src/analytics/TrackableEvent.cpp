#include "analytics/TrackableEvent.h"

#include "platform/Environment.h"

namespace brelta::analytics {

QString sourceType()
{
    constexpr std::string_view environment = platform::environmentName(platform::currentEnvironment());
    return QStringLiteral("Mac App (") + QString::fromLatin1(environment.data(), qsizetype(environment.size()))
           + QLatin1Char(')');
}

} // namespace brelta::analytics
