#include "analytics/AnalyticsManager.h"

namespace brelta::analytics {

void AnalyticsManager::identify(const QString &userId, const QString &username) const
{
    if (platform::AnalyticsClient *client = m_client.load())
        client->identify(userId, {{QStringLiteral("username"), username}});
}

void AnalyticsManager::reset() const
{
    if (platform::AnalyticsClient *client = m_client.load())
        client->reset();
}

} // namespace brelta::analytics
