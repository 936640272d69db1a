#pragma once

// An upload queue wired to real parts: the backend client against the in-process local backend, a
// private settings file, a recordings folder of its own, a hand-driven clock, and the analytics and
// error-tracking clients sending to the local backend's collector, where a test reads what they sent.

#include "analytics/AnalyticsManager.h"
#include "platform/Clock.h"
#include "platform/StoredSettings.h"
#include "platform/audio/ToneFixture.h"
#include "platform/telemetry/AnalyticsClient.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/upload/AudioUploadManager.h"
#include "testsupport/backend/ClientFixture.h"
#include "testsupport/backend/CollectorTelemetry.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUuid>

#include <memory>

namespace brelta::testsupport {

struct UploadFixture
{
    client::ClientFixture backend;
    platform::ManualClock clock;
    QTemporaryDir storage;
    CollectorTelemetry telemetry{backend.server, &clock, storage.path()};
    QString recordings = storage.filePath(QStringLiteral("recordings/brelta"));
    std::unique_ptr<recording::AudioUploadManager> manager;

    UploadFixture()
    {
        QDir().mkpath(recordings);
        backend.signIn();
    }

    // Starts the queue, as a launch does (a second call is the next launch).
    recording::AudioUploadManager &start()
    {
        manager.reset();
        manager = std::make_unique<recording::AudioUploadManager>(
            recording::AudioUploadManagerServices{backend.client.get(), &backend.settings, &telemetry.analytics,
                                                  telemetry.errorTracker.get(), &clock},
            recordings);
        return *manager;
    }

    QString signedInUser() { return backend.server.seededUser().email; }
    void signInAs(const QString &user) { backend.settings.setText(platform::settings::kUsername, user); }

    // A recording in the folder under the session's naming rule, made by the ffmpeg command line.
    QString makeRecording(double seconds, const QStringList &codec = {"-c:a", "aac", "-b:a", "32k"},
                          const QString &purpose = QStringLiteral("practice"), int channels = 1)
    {
        const QString path = QDir(recordings)
                                 .filePath(purpose + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128)
                                           + QStringLiteral(".m4a"));
        const QString made = makeToneFile(path, seconds, 44100, channels, codec);
        if (!made.isEmpty())
            qFatal("%s", qPrintable(made));
        return path;
    }

    recording::FinishedRecording finished(const QString &path, qint64 seconds,
                                          recording::RecordingPurpose purpose = recording::RecordingPurpose::Practice,
                                          std::optional<QMap<QString, QString>> sourceParams = std::nullopt,
                                          const QString &owner = QString())
    {
        const QDateTime end(QDate(2024, 3, 5), QTime(14, 30, 0), Qt::UTC);
        return {path,
                end.addSecs(-seconds),
                end,
                seconds,
                purpose,
                std::move(sourceParams),
                owner.isEmpty() ? signedInUser() : owner};
    }

    // Runs the event loop until the queue is idle; false when it is still busy after the timeout.
    bool waitIdle(int timeoutMs = 30000)
    {
        return QTest::qWaitFor([this] { return manager->isIdle(); }, timeoutMs);
    }

    static QString fileUrl(const QString &path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

    std::vector<recording::AudioUploadWorkItem> storedItems()
    {
        return backend.settings.readArray<recording::AudioUploadWorkItem>(platform::settings::kAudioUploadItems).items;
    }
    QString storedQueueText()
    {
        return backend.settings.text(platform::settings::kAudioUploadItems.storedName()).value_or(QString());
    }

    // What reached the collector, in order.
    QStringList eventNames()
    {
        QStringList names;
        for (const nlohmann::json &message : backend.server.collector().batchMessages())
            names << QString::fromStdString(message.value("event", ""));
        return names;
    }
    nlohmann::json lastEvent(const QString &name)
    {
        nlohmann::json found;
        for (const nlohmann::json &message : backend.server.collector().batchMessages()) {
            if (QString::fromStdString(message.value("event", "")) == name)
                found = message.at("properties");
        }
        return found;
    }
    int eventCount(const QString &name) { return int(eventNames().count(name)); }

    // The texts of the error reports the tracker sent.
    QStringList reports()
    {
        QStringList texts;
        for (const nlohmann::json &event : backend.server.collector().errorEvents()) {
            if (event.contains("exception"))
                texts << QString::fromStdString(event["exception"]["values"][0].value("value", ""));
            else if (event.contains("logentry"))
                texts << QString::fromStdString(event["logentry"].value("message", ""));
        }
        return texts;
    }
    int reportsContaining(const QString &text)
    {
        int count = 0;
        for (const QString &report : reports())
            count += report.contains(text) ? 1 : 0;
        return count;
    }

    QList<devserver::ReceivedRequest> uploadRequests() const
    {
        return backend.server.receivedRequests(QStringLiteral("/upload"));
    }
};

} // namespace brelta::testsupport
