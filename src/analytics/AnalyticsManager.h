#pragma once

#include "analytics/TrackableEvent.h"
#include "platform/telemetry/AnalyticsClient.h"

#include <atomic>

namespace brelta::analytics {

// Holds the analytics client once the launch sequence has configured it, and is the one send path
// for catalogue events. Until a client is set, sends and identity changes are dropped: nothing is
// built, queued or replayed later. Safe to use from any thread.
class AnalyticsManager
{
public:
    // Stored once by the launch sequence, before any background work that sends starts.
    void setClient(platform::AnalyticsClient *client) { m_client.store(client); }
    platform::AnalyticsClient *client() const { return m_client.load(); }

    // Tracks the event under its name with its property dictionary. Never blocks and never fails
    // towards the caller: delivery is the client's affair.
    template<TrackableEvent E>
    void send(const E &event) const
    {
        if (platform::AnalyticsClient *client = m_client.load())
            client->track(event.name, properties(event));
    }

    // The signed-in user, with the user name as the one trait.
    void identify(const QString &userId, const QString &username) const;
    void reset() const;

private:
    std::atomic<platform::AnalyticsClient *> m_client{nullptr};
};

// Sends "Interaction Taken" for a click on `component` of `screen`; nothing when there is no manager.
void sendClick(const AnalyticsManager *analytics, event::ScreenName screen, event::ComponentName component,
               std::optional<QString> interactionValue = std::nullopt);

} // namespace brelta::analytics
