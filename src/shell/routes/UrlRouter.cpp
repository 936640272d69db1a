#include "shell/routes/UrlRouter.h"

#include "backend/client/ApiClient.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/PermissionManager.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/recorders/RecorderErrors.h"
#include "shell/AppDelegate.h"
#include "shell/RecordingSession.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUrlRouter, "brelta.shell.UrlRouter")

namespace brelta::shell {

namespace settings = platform::settings;

namespace {

const QString kRecordFailedTitle = QStringLiteral("Could not start the recording");
const QString kRecordFailedMessage = QStringLiteral("Please try starting the recording manually.");
const QString kAuthFailedTitle = QStringLiteral("Failed to authenticate");
const QString kAuthFailedMessage = QStringLiteral("Something went wrong, please try again later.");

} // namespace

UrlRouter::UrlRouter(UrlRouterParts parts, QObject *parent) : QObject(parent), m_parts(parts) {}

UrlRouter::~UrlRouter() = default;

void UrlRouter::handleOpenUrls(const QList<QUrl> &urls, bool arrivedDuringLaunch)
{
    if (urls.size() > 1)
        qCInfo(lcUrlRouter) << "routing the first of" << urls.size() << "links; the others are ignored";
    RouteParse parse = parseRouteUrls(urls);
    if (!parse.request) {
        qCWarning(lcUrlRouter).noquote() << "ignoring" << parse.error;
        return;
    }
    const RouteRequest &request = *parse.request;
    for (const QString &dropped : request.droppedItems)
        qCWarning(lcUrlRouter).noquote() << "a link item left out:" << dropped;

    const bool onboarded = m_parts.settings->value(settings::kOnboardingCompleted);
    if (onboarded) {
        if (request.pathStartsWith(QLatin1String("/settings")) || request.pathStartsWith(QLatin1String("/calendar"))) {
            const RoutePanel panel =
                request.pathStartsWith(QLatin1String("/settings")) ? RoutePanel::Settings : RoutePanel::Calendar;
            if (m_parts.panels)
                m_parts.panels->switchToPanel(panel);
            else
                qCInfo(lcUrlRouter) << "no panel switch in this build; the main popover opens as it is";
        } else if (request.pathStartsWith(QLatin1String("/record"))) {
            startRecordingFromUrl(request.queryDictionary);
            return;
        }
    } else if (request.pathStartsWith(QLatin1String("/auth")) && request.code) {
        exchangeSignInCode(request);
        return;
    }
    endWithMainOrOnboarding(arrivedDuringLaunch);
}

void UrlRouter::endWithMainOrOnboarding(bool arrivedDuringLaunch)
{
    if (!arrivedDuringLaunch) {
        m_parts.delegate->showMainOrOnboarding();
        return;
    }
    std::unique_ptr<platform::Timer> timer = m_parts.clock->createTimer();
    platform::Timer *raw = timer.get();
    connect(raw, &platform::Timer::timeout, this, [this, raw] {
        std::erase_if(m_endings, [raw](const auto &held) { return held.get() == raw; });
        m_parts.delegate->showMainOrOnboarding();
    });
    raw->start(kEndingDelayDuringLaunch, platform::Timer::Mode::SingleShot);
    m_endings.push_back(std::move(timer));
}

QCoro::Task<> UrlRouter::startRecordingFromUrl(QMap<QString, QString> sourceParams)
{
    QPointer<UrlRouter> self(this);
    // Read afresh: at launch nothing is known yet, and a microphone plugged in since counts.
    bool allowed = false;
    if (m_parts.permissions) {
        QPointer<platform::PermissionManager> permissions(m_parts.permissions);
        QCoro::Task<> probing = permissions->refresh();
        co_await std::move(probing);
        if (!self || !permissions)
            co_return;
        allowed = permissions->microphoneAuthStatus() == platform::MicrophoneAuthorization::Authorized
                  && permissions->hasSystemAudioAccess();
    }
    if (!allowed || !m_parts.recording) {
        qCInfo(lcUrlRouter) << "the link's recording does not start: the microphone or system audio is not available";
        m_parts.delegate->showMainOrOnboarding();
        emit taskFinished();
        co_return;
    }

    QPointer<RecordingSession> recording(m_parts.recording);
    std::exception_ptr failure;
    try {
        QCoro::Task<> starting = recording->startPracticeRecording(std::move(sourceParams));
        co_await std::move(starting);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        const QString why = recording::describeFailure(failure);
        qCWarning(lcUrlRouter).noquote() << "startRecording error:" << why;
        m_parts.delegate->errorTracker()->captureError(QStringLiteral("RecordingStartError"), why);
        m_parts.delegate->showAlert(kRecordFailedTitle, kRecordFailedMessage);
    } else {
        m_parts.delegate->showRecordingStartedPopover();
        if (recording)
            recording->setHasDisplayedRecordingPopover(true);
    }
    emit taskFinished();
}

QCoro::Task<> UrlRouter::exchangeSignInCode(RouteRequest request)
{
    if (!request.hasSendableCode()) {
        // Not sent: a code like this came from no sign-in page of ours.
        failSignIn(QStringLiteral("the link's code is empty, longer than %1 characters or not URL-safe (%2 characters)")
                       .arg(RouteRequest::kMaxCodeLength)
                       .arg(request.code->size()));
        co_return;
    }
    QPointer<UrlRouter> self(this);
    QPointer<backend::ApiClient> api(m_parts.api);
    std::optional<backend::ApiAuth::UserIdentity> identity;
    std::exception_ptr failure;
    try {
        QCoro::Task<backend::ApiAuth::UserIdentity> exchange = api->getToken(false, *request.code);
        identity = co_await std::move(exchange);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || !api)
        co_return;
    if (failure) {
        failSignIn(recording::describeFailure(failure));
        co_return;
    }
    api->configureInterceptor(api->accessToken().value_or(QString()), api->refreshToken().value_or(QString()));
    const bool continueOnboarding = request.onboarding == QLatin1String("true");
    m_parts.delegate->setUser(identity->id, identity->email);
    if (continueOnboarding) {
        if (m_parts.onboarding)
            m_parts.onboarding->continueAtMicrophoneStep();
        else
            qCInfo(lcUrlRouter) << "no onboarding flow in this build; onboarding opens where it was";
    } else if (!m_parts.settings->setValue(settings::kOnboardingCompleted, true)) {
        qCWarning(lcUrlRouter) << "the completed onboarding could not be stored";
    }
    m_parts.delegate->showMainOrOnboarding();
    emit taskFinished();
}

void UrlRouter::failSignIn(const QString &why)
{
    qCWarning(lcUrlRouter).noquote() << "signing in with the link's code failed:" << why;
    m_parts.delegate->errorTracker()->captureError(QStringLiteral("SignInCodeError"), why);
    m_parts.delegate->showAlert(kAuthFailedTitle, kAuthFailedMessage);
    emit taskFinished();
}

} // namespace brelta::shell
