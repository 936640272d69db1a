#pragma once

// Shared by the shell's tests: the X display and tray host they run with, a recording session that the
// test drives, services that write their calls into a trace, and an application delegate wired to an
// in-process local backend, a private settings file and the test run's Secret Service.

#include "analytics/AnalyticsManager.h"
#include "backend/client/ApiClient.h"
#include "backend/client/KeychainStore.h"
#include "devserver/DevServer.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/LogindSleepMonitor.h"
#include "platform/keyring/SecretStore.h"
#include "platform/permissions/PermissionManager.h"
#include "shell/AppDelegate.h"
#include "shell/RecordingSession.h"
#include "shell/Services.h"
#include "shell/SharedAppDelegate.h"
#include "shell/popovers/Popovers.h"
#include "shell/routes/RouteSeams.h"
#include "testsupport/CheckedWait.h"
#include "testsupport/TestOutput.h"
#include "testsupport/tray/TrayHostProcess.h"

#include <QApplication>
#include <QCoroSignal>
#include <QDBusConnection>
#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>

namespace brelta::testsupport::shell {

using brelta::shell::AppDelegate;
using brelta::shell::PopoverKind;
using recording::AudioRecordingState;

// Points Qt at the test run's Xvfb (started by scripts/services/start) with the xcb platform, as the
// program runs on a desktop. Call before the QApplication exists.
inline bool useTestDisplay()
{
    const QByteArray display = qgetenv("BRELTA_TEST_DISPLAY");
    if (display.isEmpty()) {
        std::fprintf(stderr, "this test needs the X display that scripts/test starts (BRELTA_TEST_DISPLAY)\n");
        return false;
    }
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    return true;
}

// The folder a test leaves its screenshots in (build/<preset>/test-output/<test>).
using brelta::testsupport::outputFolder;

// What the X server shows of `window`'s area.
inline bool saveScreenshot(const QWidget *window, const QString &name)
{
    const QPixmap shot = window->screen()->grabWindow(0, window->x(), window->y(), window->width(), window->height());
    return !shot.isNull() && shot.save(QDir(outputFolder()).filePath(name + QStringLiteral(".png")));
}

// A recording session the test scripts. Every call lands in `calls`. Start, pause and resume take effect at
// once, unless `holdOperations` is set: then each waits for release(); `failNext` makes the next of them
// (or a stop) throw instead. The stop finishes when the test calls handOff(), or at once with stopsAtOnce.
class FakeRecordingSession final : public brelta::shell::RecordingSession
{
    Q_OBJECT

public:
    AudioRecordingState state() const override { return m_state; }
    void setState(AudioRecordingState state)
    {
        m_state = state;
        emit stateChanged();
    }

    bool hasDisplayedRecordingPopover() const override { return m_displayed; }
    void setHasDisplayedRecordingPopover(bool shown) override { m_displayed = shown; }

    void setUsername(const QString &username) override { usernames.append(username); }

    QCoro::Task<> startPracticeRecording(QMap<QString, QString> sourceParams) override
    {
        startedWith.append(sourceParams);
        if (!startFailure.isEmpty())
            throw std::runtime_error(startFailure.toStdString());
        setState(AudioRecordingState::Recording);
        co_return;
    }

    QCoro::Task<> stopRecording() override
    {
        ++stopCount;
        calls << QStringLiteral("stop");
        if (trace)
            *trace << QStringLiteral("recording.stop");
        QPointer<FakeRecordingSession> self(this);
        if (std::exchange(failNext, false))
            throw std::runtime_error("the recorder did not stop");
        if (!stopsAtOnce)
            co_await qCoro(this, &FakeRecordingSession::handedOff);
        if (self) {
            setState(AudioRecordingState::Stopped);
            if (trace)
                *trace << QStringLiteral("recording.handedOff");
        }
    }

    QCoro::Task<> startRecording() override { return operate(QStringLiteral("start"), AudioRecordingState::Recording); }
    QCoro::Task<> pauseRecording() override { return operate(QStringLiteral("pause"), AudioRecordingState::Paused); }
    QCoro::Task<> resumeRecording() override
    {
        return operate(QStringLiteral("resume"), AudioRecordingState::Recording);
    }

    qint64 recordingDuration() const override { return m_duration; }
    void setRecordingDuration(qint64 seconds)
    {
        m_duration = seconds;
        emit durationChanged();
    }
    double maxRecordingDuration() const override { return m_max; }
    void setMaxRecordingDuration(double seconds) override
    {
        calls << QStringLiteral("max %1").arg(seconds);
        m_max = seconds;
        emit durationChanged();
    }
    void scheduleAutomaticStop() override { calls << QStringLiteral("scheduleAutomaticStop"); }

    void handOff() { emit handedOff(); }
    void release() { emit released(); }

    bool stopsAtOnce = false;
    bool holdOperations = false;
    bool failNext = false;
    int stopCount = 0;
    QStringList usernames;
    QStringList calls;
    QList<QMap<QString, QString>> startedWith;
    QString startFailure; // not empty: a start throws this
    // Written when a stop begins and when its hand-off is done.
    QStringList *trace = nullptr;

signals:
    void handedOff();
    void released();

private:
    QCoro::Task<> operate(QString name, AudioRecordingState after)
    {
        calls << name;
        QPointer<FakeRecordingSession> self(this);
        if (holdOperations)
            co_await qCoro(this, &FakeRecordingSession::released);
        if (!self)
            co_return;
        if (std::exchange(failNext, false))
            throw std::runtime_error(qPrintable(name + QStringLiteral(" failed")));
        setState(after);
    }

    AudioRecordingState m_state = AudioRecordingState::Stopped;
    bool m_displayed = false;
    qint64 m_duration = 0;
    double m_max = 7200;
};

inline QString tokenStateName(backend::ApiClient::TokenState state)
{
    switch (state) {
    case backend::ApiClient::TokenState::NotRead:
        return QStringLiteral("not read");
    case backend::ApiClient::TokenState::Held:
        return QStringLiteral("held");
    case backend::ApiClient::TokenState::Absent:
        return QStringLiteral("absent");
    case backend::ApiClient::TokenState::Unreadable:
        return QStringLiteral("unreadable");
    }
    return {};
}

// The calendar service, writing each call into the trace with what the client knew of the token then.
class TracingCalendar final : public brelta::shell::CalendarService
{
public:
    TracingCalendar(QStringList *trace, std::function<QString()> tokens) : m_trace(trace), m_tokens(std::move(tokens))
    {}
    void restoreSession() override { *m_trace << QStringLiteral("calendar.restoreSession (%1)").arg(m_tokens()); }
    void scheduleIntegrationReminder() override { *m_trace << QStringLiteral("calendar.scheduleIntegrationReminder"); }
    void disconnect() override { *m_trace << QStringLiteral("calendar.disconnect"); }
    void signOutOfGoogle() override { *m_trace << QStringLiteral("calendar.signOutOfGoogle"); }

private:
    QStringList *m_trace;
    std::function<QString()> m_tokens;
};

class TracingMessages final : public brelta::shell::MessageService
{
public:
    explicit TracingMessages(QStringList *trace) : m_trace(trace) {}
    void startMessagesPolling(std::chrono::seconds interval) override
    {
        *m_trace << QStringLiteral("messages.startMessagesPolling %1").arg(interval.count());
    }
    void scheduleCoachingTips() override { *m_trace << QStringLiteral("messages.scheduleCoachingTips"); }
    void stopTimers() override { *m_trace << QStringLiteral("messages.stopTimers"); }
    void clearProcessedMessageIds() override { *m_trace << QStringLiteral("messages.clearProcessedMessageIds"); }
    void clearMessagesAndHistory() override { *m_trace << QStringLiteral("messages.clearMessagesAndHistory"); }

private:
    QStringList *m_trace;
};

// The main view's panel switch and the onboarding flow as the links drive them, into the trace.
class TracingRouteSeams final : public brelta::shell::PanelSwitcher, public brelta::shell::OnboardingNavigator
{
public:
    explicit TracingRouteSeams(QStringList *trace) : m_trace(trace) {}
    void switchToPanel(brelta::shell::RoutePanel panel) override
    {
        *m_trace << (panel == brelta::shell::RoutePanel::Settings ? QStringLiteral("panels.settings")
                                                                  : QStringLiteral("panels.calendar"));
    }
    void continueAtMicrophoneStep() override { *m_trace << QStringLiteral("onboarding.microphoneStep"); }

private:
    QStringList *m_trace;
};

// Runs the event loop until `condition` holds. Waits that depend on the keyring use this rather than
// QTRY_*: libsecret answers through the GLib main loop, which QTest's event polling leaves unserved.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!condition())
        loop.exec();
    return condition();
}

// An application delegate over real parts: the local backend, the Secret Service (under a bundle
// identifier of its own), a private settings file and telemetry sent to the backend's collector. Timers
// of the shell run on a clock the test advances.
struct ShellFixture
{
    ShellFixture()
        : settings(storage.filePath(QStringLiteral("brelta.ini")))
        , keychain(&secrets, QStringLiteral("com.brelta.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
        , calendar(&trace, [this] { return tokenStateName(api->accessTokenState()); })
        , messages(&trace)
        , routeSeams(&trace)
    {
        if (!server.listen())
            qFatal("the local backend could not listen");
        api = makeClient();
    }

    ~ShellFixture()
    {
        // Windows first: they may still be shown.
        delegate.reset();
    }

    std::unique_ptr<backend::ApiClient> makeClient()
    {
        backend::ApiClientOptions options;
        options.transferTimeout = std::chrono::seconds(3);
        options.keychainRetryDelay = std::chrono::milliseconds(200);
        options.launchArguments = {QStringLiteral("/usr/bin/brelta")};
        return std::make_unique<backend::ApiClient>(backend::BackendHosts::loopback(server.port()), &keychain,
                                                    &settings, &shared, options);
    }

    // A user who signed in on an earlier run: tokens in the keyring, their name and id stored, onboarding done.
    void storeSignedInUser()
    {
        auto earlier = makeClient();
        const auto identity = awaitTask(earlier->signIn(server.seededUser().email, server.seededUser().password));
        if (!identity.succeeded())
            qFatal("signing in failed: %s", qPrintable(identity.errorText()));
        // Reads queue behind the sign-in's writes: once this answers, the tokens are stored.
        awaitTask(keychain.getString(backend::KeychainKey::AccessToken));
        settings.setText(platform::settings::kUsername, identity.value->email);
        settings.setText(platform::settings::kUserId, identity.value->id);
        settings.setValue(platform::settings::kOnboardingCompleted, true);
        server.clearReceived();
    }

    // Links switch the delegate's own main view model rather than the recorded stand-in.
    bool panelsOfTheDelegate = false;

    AppDelegate &makeDelegate(bool withRecordingSession = true)
    {
        brelta::shell::AppDelegateDependencies deps;
        deps.settings = &settings;
        deps.clock = &clock;
        deps.network = &network;
        deps.api = api.get();
        deps.analytics = &analytics;
        deps.shared = &shared;
        deps.calendar = &calendar;
        deps.messages = messageService ? messageService : &messages;
        deps.recording = withRecordingSession ? &recording : nullptr;
        deps.sleepWake = sleepMonitor ? sleepMonitor : &sleepWake;
        deps.loginItem = loginItem.get();
        deps.permissions = permissions;
        deps.panels = panelsOfTheDelegate ? nullptr : &routeSeams;
        deps.onboarding = &routeSeams;
        deps.calendarManager = calendarManager;
        deps.errorTracking.dsn = server.collector().errorDsn(server.baseUrl());
        deps.errorTracking.storageDirectory = storage.filePath(QStringLiteral("errors"));
        deps.errorTracking.installCrashHandler = false;
        deps.analyticsConfiguration.storageDirectory = storage.filePath(QStringLiteral("analytics"));
        delegate = std::make_unique<AppDelegate>(std::move(deps));
        QObject::connect(
            delegate.get(), &AppDelegate::launchStepDone, delegate.get(), [this](AppDelegate::LaunchStep step) {
                trace << QString::fromLatin1(QMetaEnum::fromType<AppDelegate::LaunchStep>().valueToKey(int(step)));
            });
        return *delegate;
    }

    // Launches and waits until the services started, that is until the stored tokens were read.
    bool launchAndWaitForServices()
    {
        delegate->launch();
        return waitUntil([this] { return trace.contains(QStringLiteral("ServicesStarted")); });
    }

    bool shown(PopoverKind kind) const { return delegate->isPopoverShown(kind); }

    QList<PopoverKind> shownPopovers() const
    {
        QList<PopoverKind> kinds;
        for (const PopoverKind kind : brelta::shell::kAllPopoverKinds) {
            if (shown(kind))
                kinds.append(kind);
        }
        return kinds;
    }

    QTemporaryDir storage;
    devserver::DevServer server;
    platform::SettingsStore settings;
    platform::ManualClock clock;
    QNetworkAccessManager network;
    platform::SecretStore secrets{std::chrono::seconds(5)};
    backend::KeychainStore keychain;
    brelta::shell::SharedAppDelegate shared;
    std::unique_ptr<backend::ApiClient> api;
    analytics::AnalyticsManager analytics;
    QStringList trace;
    TracingCalendar calendar;
    TracingMessages messages;
    FakeRecordingSession recording;
    TracingRouteSeams routeSeams;
    // Set before makeDelegate() to give the links a permission state.
    platform::PermissionManager *permissions = nullptr;
    // Not on a bus: the tests announce sleep and wake by emitting its signals.
    platform::desktop::LogindSleepMonitor sleepWake{QDBusConnection(QStringLiteral("no-bus"))};
    // Set before makeDelegate() to use a monitor on a bus instead.
    platform::desktop::LogindSleepMonitor *sleepMonitor = nullptr;
    // Set before makeDelegate() to register one.
    std::unique_ptr<platform::desktop::LoginItem> loginItem;
    // Set before makeDelegate() to show the connect-calendar reminder of this manager.
    calendar::CalendarManager *calendarManager = nullptr;
    // Set before makeDelegate() to use a real message service instead of the tracing one.
    brelta::shell::MessageService *messageService = nullptr;
    std::unique_ptr<AppDelegate> delegate;
};

enum class TrayHost { None, StatusNotifierItem, XEmbed };

inline bool startTrayHost(TrayHost host, TrayHostProcess &process)
{
    bool started = true;
    if (host == TrayHost::StatusNotifierItem)
        started = process.startStatusNotifierWatcher();
    else if (host == TrayHost::XEmbed)
        started = process.startXEmbedTray();
    if (!started)
        std::fprintf(stderr, "%s\n", qPrintable(process.errorString()));
    return started;
}

} // namespace brelta::testsupport::shell

// main() for a shell test on the Xvfb display, with the given tray host running for the whole program:
// started before the QApplication, which asks for a StatusNotifierItem host once.
#define BRELTA_SHELL_TEST_MAIN(TestObject, host)                                                                       \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        if (!brelta::testsupport::shell::useTestDisplay())                                                             \
            return 1;                                                                                                  \
        brelta::testsupport::TrayHostProcess trayHost;                                                                 \
        if (!brelta::testsupport::shell::startTrayHost(brelta::testsupport::shell::TrayHost::host, trayHost))          \
            return 1;                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        QApplication::setQuitOnLastWindowClosed(false);                                                                \
        TestObject test;                                                                                               \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
