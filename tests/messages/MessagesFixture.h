#pragma once

// A notification manager wired to real parts: the backend client against the in-process local backend,
// a private settings file, a hand-driven clock in UTC, and the analytics and error-tracking clients
// sending to the local backend's collector, with the fakes of MessageFakes.h.

#include "MessageFakes.h"
#include "analytics/AnalyticsManager.h"
#include "devserver/MessagingService.h"
#include "messages/CalendarLookahead.h"
#include "messages/MessagesShell.h"
#include "messages/NotificationManager.h"
#include "messages/NotificationStore.h"
#include "messages/RecordingControl.h"
#include "platform/Clock.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"
#include "testsupport/backend/ClientFixture.h"
#include "testsupport/backend/CollectorTelemetry.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>

namespace brelta::testsupport::messages {

struct MessagesFixture
{
    client::ClientFixture backend;
    // Tuesday 2024-03-05 10:00:00 UTC.
    platform::ManualClock clock{QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC)};
    QTemporaryDir storage;
    CollectorTelemetry telemetry{backend.server, &clock, storage.path()};
    FakeShell shell;
    FakeRecording recording;
    brelta::messages::NotificationStore store{&backend.settings, &clock};
    std::unique_ptr<brelta::messages::NotificationManager> manager;
    int markers = 0;

    MessagesFixture()
    {
        backend.signIn();
        manager = std::make_unique<brelta::messages::NotificationManager>(brelta::messages::NotificationManagerServices{
            backend.client.get(), &backend.settings, &clock, &telemetry.analytics, telemetry.errorTracker.get(), &store,
            &recording});
        manager->setShell(&shell);
        manager->setTimeZone(QTimeZone::utc());
    }

    devserver::DevServer &server() { return backend.server; }

    // "yyyy-MM-ddTHH:mm:ss" of now + `seconds` (the clock runs in UTC).
    QString local(qint64 seconds) const
    {
        return clock.now().addSecs(seconds).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    }

    void queue(const nlohmann::json &message)
    {
        const QString refused = backend.server.queueMessage(message);
        if (!refused.isEmpty())
            qFatal("message refused: %s", qPrintable(refused));
    }

    // Runs one poll to its end.
    bool poll() { return awaitTask(manager->fetchMessages()).succeeded(); }

    // The names of the analytics events sent so far: a marker is sent last and waited for, so every
    // event before it has arrived.
    QStringList eventNames()
    {
        const QString marker = QStringLiteral("Test Marker %1").arg(++markers);
        telemetry.analyticsClient->track(marker, {});
        QStringList names;
        const bool arrived = QTest::qWaitFor(
            [&] {
                names.clear();
                for (const nlohmann::json &message : backend.server.collector().batchMessages())
                    names << QString::fromStdString(message.value("event", std::string()));
                return names.contains(marker);
            },
            10000);
        if (!arrived)
            return {QStringLiteral("(the analytics marker never arrived)")};
        names.removeIf([](const QString &name) { return name.startsWith(QStringLiteral("Test Marker")); });
        return names;
    }
};

inline nlohmann::json simpleText(const std::string &id)
{
    return {{"messageId", id},
            {"content", {{"simpleText", {{"title", "Hello"}, {"body", "World"}}}}},
            {"schedule", nlohmann::json::object()}};
}

} // namespace brelta::testsupport::messages
