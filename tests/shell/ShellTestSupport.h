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
bool useTestDisplay();

// The folder a test leaves its screenshots in (build/<preset>/test-output/<test>).
using brelta::testsupport::outputFolder;

// What the X server shows of `window`'s area.
bool saveScreenshot(const QWidget *window, const QString &name);

// A recording session the test scripts. Every call lands in `calls`. Start, pause and resume take effect at
// once, unless `holdOperations` is set: then each waits for release(); `failNext` makes the next of them
// (or a stop) throw instead. The stop finishes when the test calls handOff(), or at once with stopsAtOnce.
class FakeRecordingSession final : public brelta::shell::RecordingSession
{
    Q_OBJECT

public:
    AudioRecordingState state() const override { return m_state; }
    void setState(AudioRecordingState state);

    bool hasDisplayedRecordingPopover() const override { return m_displayed; }
    void setHasDisplayedRecordingPopover(bool shown) override { m_displayed = shown; }

    void setUsername(const QString &username) override { usernames.append(username); }

    QCoro::Task<> startPracticeRecording(QMap<QString, QString> sourceParams) override;
    QCoro::Task<> stopRecording() override;
    QCoro::Task<> startRecording() override;
    QCoro::Task<> pauseRecording() override;
    QCoro::Task<> resumeRecording() override;

    qint64 recordingDuration() const override { return m_duration; }
    void setRecordingDuration(qint64 seconds);
    double maxRecordingDuration() const override { return m_max; }
    void setMaxRecordingDuration(double seconds) override;
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
    QCoro::Task<> operate(QString name, AudioRecordingState after);

    AudioRecordingState m_state = AudioRecordingState::Stopped;
    bool m_displayed = false;
    qint64 m_duration = 0;
    double m_max = 7200;
};

QString tokenStateName(backend::ApiClient::TokenState state);

// The calendar service, writing each call into the trace with what the client knew of the token then.
class TracingCalendar final : public brelta::shell::CalendarService
{
public:
    TracingCalendar(QStringList *trace, std::function<QString()> tokens) : m_trace(trace), m_tokens(std::move(tokens))
    {}
    void restoreSession() override;
    void scheduleIntegrationReminder() override;
    void disconnect() override;
    void signOutOfGoogle() override;

private:
    QStringList *m_trace;
    std::function<QString()> m_tokens;
};

class TracingMessages final : public brelta::shell::MessageService
{
public:
    explicit TracingMessages(QStringList *trace) : m_trace(trace) {}
    void startMessagesPolling(std::chrono::seconds interval) override;
    void scheduleCoachingTips() override;
    void stopTimers() override;
    void clearProcessedMessageIds() override;
    void clearMessagesAndHistory() override;

private:
    QStringList *m_trace;
};

// The main view's panel switch and the onboarding flow as the links drive them, into the trace.
class TracingRouteSeams final : public brelta::shell::PanelSwitcher, public brelta::shell::OnboardingNavigator
{
public:
    explicit TracingRouteSeams(QStringList *trace) : m_trace(trace) {}
    void switchToPanel(brelta::shell::RoutePanel panel) override;
    void continueAtMicrophoneStep() override;

private:
    QStringList *m_trace;
};

// Runs the event loop until `condition` holds. Waits that depend on the keyring use this rather than
// QTRY_*: libsecret answers through the GLib main loop, which QTest's event polling leaves unserved.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

// An application delegate over real parts: the local backend, the Secret Service (under a bundle
// identifier of its own), a private settings file and telemetry sent to the backend's collector. Timers
// of the shell run on a clock the test advances.
struct ShellFixture
{
    ShellFixture();
    ~ShellFixture();

    std::unique_ptr<backend::ApiClient> makeClient();

    // A user who signed in on an earlier run: tokens in the keyring, their name and id stored, onboarding done.
    void storeSignedInUser();

    // Links switch the delegate's own main view model rather than the recorded stand-in.
    bool panelsOfTheDelegate = false;

    AppDelegate &makeDelegate(bool withRecordingSession = true);

    // Launches and waits until the services started, that is until the stored tokens were read.
    bool launchAndWaitForServices();

    bool shown(PopoverKind kind) const { return delegate->isPopoverShown(kind); }

    QList<PopoverKind> shownPopovers() const;

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

bool startTrayHost(TrayHost host, TrayHostProcess &process);

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
