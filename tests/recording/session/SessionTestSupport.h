#pragma once

// What the recording-session tests share: a recorder driven by a script, spies on the session's seams, AAC
// fixtures of a given length, and the services a session talks to (the local backend's collector for its
// events and error reports, a settings file, a hand-driven clock).

#include "analytics/AnalyticsManager.h"
#include "platform/SettingsStore.h"
#include "platform/audio/AacFileWriter.h"
#include "platform/telemetry/TelemetryFixture.h"
#include "recording/recorders/RecorderErrors.h"
#include "recording/session/AudioRecorderManager.h"
#include "recording/session/AudioRecorderManagerDelegate.h"
#include "recording/session/RecordingPresenter.h"
#include "recording/upload/RecordingHandOff.h"
#include "testsupport/CheckedWait.h"

#include <QCoroSignal>
#include <QFile>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <stdexcept>

namespace brelta::recording::testing {

// Writes `seconds` of a quiet 440 Hz tone as AAC in MPEG-4, as the recorders write. Returns an error text,
// empty on success.
QString writeAacFixture(const QString &path, double seconds);

// A recorder that does what its script says: each operation succeeds at once or throws the scripted text;
// an operation can be held until the test releases it. A start copies the fixture to the output file, as if it had
// recorded it.
class ScriptedRecorder final : public QObject, public IAudioRecorder
{
    Q_OBJECT

public:
    struct Script
    {
        QString fixture; // copied to the output at start; empty: no file is written
        QString failStart, failPause, failResume, failStop;
        QString hold; // "start", "stop" or "pause": that operation waits for release()
    };

    ScriptedRecorder(QString kind, Script script) : m_kind(std::move(kind)), m_script(std::move(script)) {}

    QString kind() const { return m_kind; }
    QString outputPath() const { return m_output; }
    QStringList calls() const { return m_calls; }
    bool isHeld() const { return m_held; }

    AudioRecordingState recordingState() const override { return m_state; }
    AudioRecorderDelegate *delegate() const override { return m_delegate; }
    void setDelegate(AudioRecorderDelegate *delegate) override { m_delegate = delegate; }

    QCoro::Task<> start(QUrl url) override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;

    // The recording ends by itself, as when the microphone goes away: the state reads stopped and the
    // delegate is told, from inside this call.
    void failOnItsOwn(const QString &message)
    {
        m_state = AudioRecordingState::Stopped;
        if (m_delegate)
            m_delegate->recorderDidFail(std::make_exception_ptr(AudioRecorderError(message)));
    }

    void release() { Q_EMIT released(); }

Q_SIGNALS:
    void released();

private:
    // Waits for release() when the script holds `operation`, then throws `failure` or moves to `after`.
    QCoro::Task<> act(QString operation, QString failure, AudioRecordingState after);

    QString m_kind;
    Script m_script;
    AudioRecordingState m_state = AudioRecordingState::Stopped;
    AudioRecorderDelegate *m_delegate = nullptr;
    QString m_output;
    QStringList m_calls;
    bool m_held = false;
};

// Makes scripted recorders and remembers each one.
struct ScriptedRecorders
{
    ScriptedRecorder::Script script;
    QList<QPointer<ScriptedRecorder>> made;

    AudioRecorderManager::RecorderMaker maker(const QString &kind)
    {
        return [this, kind]() -> std::unique_ptr<IAudioRecorder> {
            auto recorder = std::make_unique<ScriptedRecorder>(kind, script);
            made << recorder.get();
            return recorder;
        };
    }

    QStringList kinds() const
    {
        QStringList result;
        for (const QPointer<ScriptedRecorder> &recorder : made)
            result << (recorder ? recorder->kind() : QStringLiteral("(released)"));
        return result;
    }
};

// AAC files of given lengths, written once per test run.
class AacFixtures
{
public:
    // The path of a file of `seconds`; empty when it could not be written.
    QString file(double seconds)
    {
        const QString path = m_dir.filePath(QStringLiteral("fixture-%1s.m4a").arg(seconds));
        if (!QFile::exists(path) && !writeAacFixture(path, seconds).isEmpty())
            return {};
        return path;
    }

private:
    QTemporaryDir m_dir;
};

struct HandOffSpy : RecordingHandOff
{
    void enqueue(const FinishedRecording &recording) override
    {
        if (!refusal.isEmpty())
            throw std::runtime_error(refusal.toStdString());
        items << recording;
    }
    QList<FinishedRecording> items;
    QString refusal; // non-empty: enqueue throws it
};

struct DelegateSpy : AudioRecorderManagerDelegate
{
    struct Call
    {
        bool isTooShort = false;
        std::optional<QString> errorMessage;
    };
    void handleRecordingFinished(bool isTooShort, const std::optional<QString> &errorMessage) override
    {
        calls << Call{isTooShort, errorMessage};
    }
    QList<Call> calls;
};

// Remembers when each reminder was shown, in seconds of the clock.
struct PresenterSpy : RecordingPresenter
{
    explicit PresenterSpy(const platform::Clock &clock) : clock(clock) {}
    void showRecordingReminderPopover() override { shownAt << clock.monotonicMs() / 1000; }
    const platform::Clock &clock;
    QList<qint64> shownAt;
};

// The services of one session: events and error reports go to the local backend's collector.
struct SessionFixture
{
    testsupport::TelemetryFixture telemetry;
    platform::ManualClock &clock = telemetry.clock;
    platform::SettingsStore settings{telemetry.storage.filePath(QStringLiteral("brelta.ini"))};
    platform::AnalyticsClient analyticsClient{sendEachEvent(), &telemetry.network, &telemetry.clock};
    analytics::AnalyticsManager analytics;
    platform::ErrorTracker errors{telemetry.errorOptions(), &telemetry.network, &telemetry.clock};
    HandOffSpy handOff;
    DelegateSpy delegate;
    PresenterSpy presenter{telemetry.clock};
    QString folder = telemetry.storage.filePath(QStringLiteral("recordings"));

    SessionFixture() { analytics.setClient(&analyticsClient); }

    platform::AnalyticsConfiguration sendEachEvent() const
    {
        platform::AnalyticsConfiguration configuration = telemetry.analyticsConfiguration();
        configuration.flushAt = 1;
        return configuration;
    }

    AudioRecorderManager::Services services()
    {
        return {
            .clock = clock, .settings = settings, .handOff = handOff, .analytics = &analytics, .errorTracker = &errors};
    }

    // A session writing into `folder`, its delegate and presenter set.
    std::unique_ptr<AudioRecorderManager> makeSession(AudioRecorderManager::Options options = {})
    {
        if (options.recordingsFolder.isEmpty())
            options.recordingsFolder = folder;
        auto session = std::make_unique<AudioRecorderManager>(services(), std::move(options));
        session->setDelegate(&delegate);
        session->setPresenter(&presenter);
        return session;
    }

    // The names of every event sent so far, in order, once the collector has them all. Events are queued as
    // they are sent, so nothing sent before this call can arrive later.
    QStringList deliveredEvents() const
    {
        const bool delivered = QTest::qWaitFor([this] { return analyticsClient.queuedCount() == 0; }, 10000);
        QStringList result = names();
        if (!delivered)
            result << QStringLiteral("(%1 more not delivered)").arg(analyticsClient.queuedCount());
        return result;
    }

    // The properties of the last event delivered.
    nlohmann::json lastEventProperties() const
    {
        deliveredEvents();
        const QList<nlohmann::json> messages = telemetry.collector.batchMessages();
        return messages.isEmpty() ? nlohmann::json() : messages.last().at("properties");
    }

    QStringList names() const
    {
        QStringList result;
        for (const nlohmann::json &message : telemetry.collector.batchMessages())
            result << testsupport::jsonText(message.at("event"));
        return result;
    }

    // The error texts of every report the collector received.
    QStringList reportedErrors() const
    {
        QStringList result;
        for (const nlohmann::json &event : telemetry.collector.errorEvents())
            result << testsupport::jsonText(event.at("exception").at("values").at(0).at("value"));
        return result;
    }
};

// A session whose recorders are scripted; with privacy control on by default, the filtered one is used.
struct ScriptedSession
{
    SessionFixture f;
    ScriptedRecorders scripted;
    std::unique_ptr<AudioRecorderManager> manager;

    explicit ScriptedSession(ScriptedRecorder::Script script, AudioRecorderManager::Options options = {})
    {
        scripted.script = std::move(script);
        options.microphoneRecorder = scripted.maker(QStringLiteral("microphone"));
        options.filteredRecorder = scripted.maker(QStringLiteral("filtered"));
        manager = f.makeSession(std::move(options));
    }

    // The recorder made for the `index`th recording; null once released.
    ScriptedRecorder *recorder(int index) const { return scripted.made.value(index).data(); }
};

} // namespace brelta::recording::testing
