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

void sendClick(const AnalyticsManager *analytics, event::ScreenName screen, event::ComponentName component,
               std::optional<QString> interactionValue)
{
    if (!analytics)
        return;
    event::InteractionTaken interaction;
    interaction.screenName = screen;
    interaction.interactionType = event::InteractionType::Click;
    interaction.componentName = component;
    interaction.interactionValue = std::move(interactionValue);
    analytics->send(interaction);
}

} // namespace brelta::analytics
