#pragma once

#include "GoogleBrowser.h"
#include "calendar/CalendarManager.h"
#include "calendar/GoogleAuthenticator.h"
#include "calendar/GoogleCalendarEventsProvider.h"
#include "calendar/NudgeScheduler.h"
#include "platform/keyring/SecretStore.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/backend/ClientFixture.h"

#include <QNetworkAccessManager>
#include <QTimeZone>

#include <memory>
#include <optional>
#include <string>

namespace brelta::testsupport::calendar {

// The calendar as the program assembles it, over the local backend's fake Google and coaching tips, the
// private Secret Service and a hand-driven clock in UTC: a signed-in Brelta user, no Google account yet.
struct CalendarStack
{
    using Json = nlohmann::ordered_json;

    explicit CalendarStack(const QDateTime &start) : clock(start)
    {
        backend.signIn();
        const auto removed =
            awaitTask(secrets.remove({QStringLiteral("com.brelta.desktop-googleAccount"), QStringLiteral("brelta")}));
        if (!removed.succeeded())
            qFatal("the Google account of an earlier test could not be removed");
    }

    devserver::DevServer &server() { return backend.server; }

    // (Re)builds the Google account, the events reader and the manager, its nudges going to `nudges`.
    void makeManager(brelta::calendar::NudgeScheduler *nudges,
                     const QString &clientId = devserver::GoogleService::devClientId)
    {
        manager.reset();
        events.reset();
        const QUrl base = server().baseUrl();
        brelta::calendar::GoogleClientConfig config;
        config.authUrl = base.resolved(QUrl(devserver::GoogleService::authPath));
        config.tokenUrl = base.resolved(QUrl(devserver::GoogleService::tokenPath));
        config.clientId = clientId;
        auth = std::make_unique<brelta::calendar::GoogleAuthenticator>(config, &secrets, &network, &clock);
        auth->setUrlOpener([this](const QUrl &url) { return browser.open(url); });
        auth->setUserId(QStringLiteral("user-1"));
        QUrl api = base;
        api.setPath(devserver::GoogleService::calendarApiPath);
        events = std::make_unique<brelta::calendar::GoogleCalendarEventsProvider>(auth.get(), &network, &clock, api);
        backend::ApiClient *client = backend.client.get();
        manager = std::make_unique<brelta::calendar::CalendarManager>(brelta::calendar::CalendarManagerServices{
            auth.get(), events.get(), nudges, [client] { return client->generateCoachingTip(); }, &clock,
            &backend.settings});
        manager->setTimeZone(QTimeZone::utc());
    }

    QString at(qint64 seconds) const { return clock.now().addSecs(seconds).toString(Qt::ISODate); }

    // One meeting of the fake Google calendar, `startIn` seconds from now.
    Json event(const QString &id, qint64 startIn, qint64 length, const std::optional<std::string> &link = {}) const
    {
        Json json{{"iCalUID", id.toStdString()},
                  {"summary", ("Meeting " + id).toStdString()},
                  {"start", {{"dateTime", at(startIn).toStdString()}}},
                  {"end", {{"dateTime", at(startIn + length).toStdString()}}}};
        if (link)
            json["hangoutLink"] = *link;
        return json;
    }

    client::ClientFixture backend;
    platform::ManualClock clock;
    QNetworkAccessManager network;
    platform::SecretStore secrets;
    Browser browser;
    std::unique_ptr<brelta::calendar::GoogleAuthenticator> auth;
    std::unique_ptr<brelta::calendar::GoogleCalendarEventsProvider> events;
    std::unique_ptr<brelta::calendar::CalendarManager> manager;
};

} // namespace brelta::testsupport::calendar
