#include "ShellTestSupport.h"

#include <QEventLoop>
#include <QMetaEnum>

namespace brelta::testsupport::shell {

bool useTestDisplay()
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

bool saveScreenshot(const QWidget *window, const QString &name)
{
    const QPixmap shot = window->screen()->grabWindow(0, window->x(), window->y(), window->width(), window->height());
    return !shot.isNull() && shot.save(QDir(outputFolder()).filePath(name + QStringLiteral(".png")));
}

void FakeRecordingSession::setState(AudioRecordingState state)
{
    m_state = state;
    emit stateChanged();
}

QCoro::Task<> FakeRecordingSession::startPracticeRecording(QMap<QString, QString> sourceParams)
{
    startedWith.append(sourceParams);
    if (!startFailure.isEmpty())
        throw std::runtime_error(startFailure.toStdString());
    setState(AudioRecordingState::Recording);
    co_return;
}

QCoro::Task<> FakeRecordingSession::stopRecording()
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

QCoro::Task<> FakeRecordingSession::startRecording()
{
    return operate(QStringLiteral("start"), AudioRecordingState::Recording);
}

QCoro::Task<> FakeRecordingSession::pauseRecording()
{
    return operate(QStringLiteral("pause"), AudioRecordingState::Paused);
}

QCoro::Task<> FakeRecordingSession::resumeRecording()
{
    return operate(QStringLiteral("resume"), AudioRecordingState::Recording);
}

void FakeRecordingSession::setRecordingDuration(qint64 seconds)
{
    m_duration = seconds;
    emit durationChanged();
}

void FakeRecordingSession::setMaxRecordingDuration(double seconds)
{
    calls << QStringLiteral("max %1").arg(seconds);
    m_max = seconds;
    emit durationChanged();
}

QCoro::Task<> FakeRecordingSession::operate(QString name, AudioRecordingState after)
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

QString tokenStateName(backend::ApiClient::TokenState state)
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

void TracingCalendar::restoreSession()
{
    *m_trace << QStringLiteral("calendar.restoreSession (%1)").arg(m_tokens());
}

void TracingCalendar::scheduleIntegrationReminder()
{
    *m_trace << QStringLiteral("calendar.scheduleIntegrationReminder");
}

void TracingCalendar::disconnect()
{
    *m_trace << QStringLiteral("calendar.disconnect");
}

void TracingCalendar::signOutOfGoogle()
{
    *m_trace << QStringLiteral("calendar.signOutOfGoogle");
}

void TracingMessages::startMessagesPolling(std::chrono::seconds interval)
{
    *m_trace << QStringLiteral("messages.startMessagesPolling %1").arg(interval.count());
}

void TracingMessages::scheduleCoachingTips()
{
    *m_trace << QStringLiteral("messages.scheduleCoachingTips");
}

void TracingMessages::stopTimers()
{
    *m_trace << QStringLiteral("messages.stopTimers");
}

void TracingMessages::clearProcessedMessageIds()
{
    *m_trace << QStringLiteral("messages.clearProcessedMessageIds");
}

void TracingMessages::clearMessagesAndHistory()
{
    *m_trace << QStringLiteral("messages.clearMessagesAndHistory");
}

void TracingRouteSeams::switchToPanel(brelta::shell::RoutePanel panel)
{
    *m_trace << (panel == brelta::shell::RoutePanel::Settings ? QStringLiteral("panels.settings")
                                                              : QStringLiteral("panels.calendar"));
}

void TracingRouteSeams::continueAtMicrophoneStep()
{
    *m_trace << QStringLiteral("onboarding.microphoneStep");
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
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

ShellFixture::ShellFixture()
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

ShellFixture::~ShellFixture()
{
    // Windows first: they may still be shown.
    delegate.reset();
}

std::unique_ptr<backend::ApiClient> ShellFixture::makeClient()
{
    backend::ApiClientOptions options;
    options.transferTimeout = std::chrono::seconds(3);
    options.keychainRetryDelay = std::chrono::milliseconds(200);
    options.launchArguments = {QStringLiteral("/usr/bin/brelta")};
    return std::make_unique<backend::ApiClient>(backend::BackendHosts::loopback(server.port()), &keychain, &settings,
                                                &shared, options);
}

void ShellFixture::storeSignedInUser()
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

AppDelegate &ShellFixture::makeDelegate(bool withRecordingSession)
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

bool ShellFixture::launchAndWaitForServices()
{
    delegate->launch();
    return waitUntil([this] { return trace.contains(QStringLiteral("ServicesStarted")); });
}

QList<PopoverKind> ShellFixture::shownPopovers() const
{
    QList<PopoverKind> kinds;
    for (const PopoverKind kind : brelta::shell::kAllPopoverKinds) {
        if (shown(kind))
            kinds.append(kind);
    }
    return kinds;
}

bool startTrayHost(TrayHost host, TrayHostProcess &process)
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
