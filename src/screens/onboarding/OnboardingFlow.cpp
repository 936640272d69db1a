#include "screens/onboarding/OnboardingFlow.h"

#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/permissions/PermissionManager.h"
#include "screens/WebAddress.h"
#include "screens/onboarding/OnboardingSeams.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QUrlQuery>

#include <utility>

Q_LOGGING_CATEGORY(lcOnboardingFlow, "brelta.screens.OnboardingFlow")

namespace brelta::screens {

namespace settings = platform::settings;
using platform::MicrophoneAuthorization;

const char *onboardingStepName(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::Welcome:
        return "welcome";
    case OnboardingStep::SetGoals:
        return "setGoals";
    case OnboardingStep::CalendarSync:
        return "calendarSync";
    case OnboardingStep::MicrophonePermission:
        return "microphonePermission";
    case OnboardingStep::SystemAudioPermission:
        return "systemAudioPermission";
    case OnboardingStep::TryRecording:
        return "tryRecording";
    case OnboardingStep::PostRecording:
        return "postRecording";
    }
    return "unknown";
}

namespace {

QUrl webPage(const QUrl &webBase, const QString &path, const QString &redirectToken)
{
    QUrl page = web::pageAt(webBase, path);
    if (!page.isValid())
        return {};
    // The token goes in percent-encoded whatever it holds: it must not add query items of its own.
    page.setQuery(QStringLiteral("redirect=") + QString::fromLatin1(QUrl::toPercentEncoding(redirectToken)),
                  QUrl::StrictMode);
    return page;
}

} // namespace

OnboardingFlow::OnboardingFlow(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(std::move(dependencies))
    , m_finishTimer(m_deps.clock->createTimer())
    , m_pollingLimitTimer(m_deps.clock->createTimer())
{
    qRegisterMetaType<OnboardingStep>();
    connect(m_finishTimer.get(), &platform::Timer::timeout, this, &OnboardingFlow::completeOnboarding);
    connect(m_pollingLimitTimer.get(), &platform::Timer::timeout, this, [this] {
        qCInfo(lcOnboardingFlow) << "no report after the trial recording came in time; polling as usual again";
        m_deps.shell->startMessagesPolling(kUsualPollingInterval);
    });
}

OnboardingFlow::~OnboardingFlow() = default;

bool OnboardingFlow::hasStoredUser() const
{
    return !m_deps.settings->value(settings::kUserId).isEmpty();
}

void OnboardingFlow::goToStep(OnboardingStep step)
{
    ++m_stepChange;
    qCDebug(lcOnboardingFlow) << "step" << onboardingStepName(m_step) << "->" << onboardingStepName(step);
    m_step = step;
    // Emitted also when the step stays: the view slides the page in again, as on every showing.
    emit stepChanged(step);
}

void OnboardingFlow::shown()
{
    const quint64 showing = ++m_showing;
    // A finished onboarding that shows again is a new one (after a sign-out).
    if (m_finish == Finish::Done)
        m_finish = Finish::None;
    if (!hasStoredUser()) {
        goToStep(OnboardingStep::Welcome);
        return;
    }
    applyInitialStep(showing, m_stepChange);
}

QCoro::Task<> OnboardingFlow::applyInitialStep(quint64 showing, quint64 stepChange)
{
    QPointer<OnboardingFlow> self(this);
    QCoro::Task<> refresh = m_deps.permissions->refresh();
    co_await std::move(refresh);
    if (!self)
        co_return;
    if (showing != m_showing || stepChange != m_stepChange) {
        qCDebug(lcOnboardingFlow) << "the permission answer came after the flow moved on; dropped";
        co_return;
    }
    // The user may have gone while the probes ran.
    if (!hasStoredUser())
        goToStep(OnboardingStep::Welcome);
    else if (m_deps.permissions->microphoneAuthStatus() != MicrophoneAuthorization::Authorized)
        goToStep(OnboardingStep::SetGoals);
    else if (m_deps.permissions->hasSystemAudioAccess())
        goToStep(OnboardingStep::TryRecording);
    else
        goToStep(OnboardingStep::SystemAudioPermission);
}

QUrl OnboardingFlow::signInPage(const QUrl &webBase, const QString &redirectToken)
{
    return webPage(webBase, QStringLiteral("/coach/auth"), redirectToken);
}

QUrl OnboardingFlow::signUpPage(const QUrl &webBase, const QString &redirectToken)
{
    return webPage(webBase, QStringLiteral("/coach/signup"), redirectToken);
}

void OnboardingFlow::signInPressed()
{
    openWebPage(signInPage(m_deps.webBase, m_deps.redirectToken));
}

void OnboardingFlow::signUpPressed()
{
    openWebPage(signUpPage(m_deps.webBase, m_deps.redirectToken));
}

void OnboardingFlow::openWebPage(const QUrl &page)
{
    if (!page.isValid()) {
        qCWarning(lcOnboardingFlow) << "this build has no valid web address; nothing to open";
        return;
    }
    if (!m_deps.shell->openInBrowser(page))
        qCWarning(lcOnboardingFlow).noquote() << "the browser could not be asked to open" << page.path();
}

void OnboardingFlow::goalsDone()
{
    if (m_step == OnboardingStep::SetGoals)
        goToStep(OnboardingStep::CalendarSync);
}

void OnboardingFlow::calendarDone()
{
    // The calendar page's hand-over comes 1.5 s after the connection: by then the user may be elsewhere.
    if (m_step == OnboardingStep::CalendarSync)
        goToStep(OnboardingStep::MicrophonePermission);
}

void OnboardingFlow::continueAtMicrophoneStep()
{
    goToStep(OnboardingStep::MicrophonePermission);
}

void OnboardingFlow::turnOnMicrophone()
{
    if (m_step != OnboardingStep::MicrophonePermission || m_microphoneRequestRunning)
        return;
    m_microphoneRequestRunning = true;
    requestMicrophone(m_stepChange);
}

QCoro::Task<> OnboardingFlow::requestMicrophone(quint64 stepChange)
{
    QPointer<OnboardingFlow> self(this);
    QCoro::Task<bool> request = m_deps.permissions->requestMicrophoneAccess();
    const bool granted = co_await std::move(request);
    if (!self)
        co_return;
    if (!granted) {
        m_microphoneRequestRunning = false;
        qCInfo(lcOnboardingFlow) << "the microphone cannot be recorded; onboarding ends without the trial";
        finishOnboarding();
        co_return;
    }
    m_deps.shell->showOnboardingPopover();
    QCoro::Task<> refresh = m_deps.permissions->refresh();
    co_await std::move(refresh);
    if (!self)
        co_return;
    m_microphoneRequestRunning = false;
    if (stepChange != m_stepChange) {
        qCDebug(lcOnboardingFlow) << "the microphone answer came after the flow moved on; dropped";
        co_return;
    }
    goToStep(m_deps.permissions->hasSystemAudioAccess() ? OnboardingStep::TryRecording
                                                        : OnboardingStep::SystemAudioPermission);
}

void OnboardingFlow::giveSystemAudioAccess()
{
    m_deps.permissions->refreshSystemAudioAccess();
    m_deps.permissions->openScreenCapturePrivacySettings();
}

void OnboardingFlow::trialRecordingFinished()
{
    if (m_step != OnboardingStep::TryRecording)
        return;
    goToStep(OnboardingStep::PostRecording);
    // The session posts its own outcome (which sets its polling interval) to the event loop; ours must come
    // after it, or the trial's report would be polled for at the slower pace.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_deps.shell->startMessagesPolling(kTrialPollingInterval);
            m_pollingLimitTimer->start(kTrialPollingLimit, platform::Timer::Mode::SingleShot);
        },
        Qt::QueuedConnection);
}

void OnboardingFlow::finishOnboarding()
{
    // A second "Skip" or "Got it", or a skip after a refusal, must not show a second hint.
    if (m_finish != Finish::None)
        return;
    m_finish = Finish::Pending;
    m_deps.shell->closeOnboardingPopover();
    m_finishTimer->start(kFinishDelay, platform::Timer::Mode::SingleShot);
}

void OnboardingFlow::completeOnboarding()
{
    m_finish = Finish::Done;
    if (!m_deps.settings->setValue(settings::kOnboardingCompleted, true))
        qCWarning(lcOnboardingFlow) << "the finished onboarding could not be stored";
    goToStep(OnboardingStep::Welcome);
    m_deps.shell->showPostOnboardingHint();
    if (m_deps.google && m_deps.google->hasConnectedUser())
        m_deps.shell->connectCalendar();
}

} // namespace brelta::screens
