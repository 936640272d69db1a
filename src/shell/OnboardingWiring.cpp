#include "shell/OnboardingWiring.h"

#include "backend/Hosts.h"
#include "designsystem/components/Alert.h"
#include "screens/RedirectToken.h"
#include "screens/onboarding/OnboardingFlow.h"
#include "screens/onboarding/OnboardingView.h"
#include "screens/onboarding/TrialRecording.h"
#include "shell/AppDelegate.h"
#include "shell/Services.h"

#include <QDesktopServices>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcOnboardingWiring, "brelta.shell.OnboardingWiring")

namespace brelta::shell {

OnboardingWiring::OnboardingWiring(Parts parts)
    : m_parts(parts)
    , m_alerts(std::make_unique<designsystem::ModalAlertPresenter>())
{
    screens::OnboardingFlow::Dependencies deps;
    deps.settings = m_parts.settings;
    deps.clock = m_parts.clock;
    deps.permissions = m_parts.permissions;
    deps.shell = this;
    deps.google = m_parts.google;
    if (*backend::hosts::kWebApplication)
        deps.webBase = QUrl(QString::fromLatin1(backend::hosts::kScheme) + QStringLiteral("://")
                            + QString::fromLatin1(backend::hosts::kWebApplication));
    deps.redirectToken = QString::fromLatin1(screens::web::kRedirectToken);
    m_flow = std::make_unique<screens::OnboardingFlow>(std::move(deps));
}

OnboardingWiring::~OnboardingWiring() = default;

void OnboardingWiring::attach(AppDelegate *delegate, recording::AudioRecorderManager *recorder)
{
    m_delegate = delegate;
    m_recorder = std::make_unique<screens::ManagerTrialRecorder>(recorder);
}

QWidget *OnboardingWiring::makeRoot()
{
    screens::OnboardingView::Dependencies deps;
    deps.flow = m_flow.get();
    deps.settingsModel = {m_parts.api, m_parts.settings, m_parts.clock,
                          m_delegate ? m_delegate->errorTracker() : nullptr};
    deps.recorder = m_recorder.get();
    deps.alerts = m_alerts.get();
    deps.google = m_parts.google;
    deps.analytics = m_parts.analytics;
    auto *view = new screens::OnboardingView(std::move(deps));
    QObject::connect(view, &screens::OnboardingView::quitRequested, view, [this] {
        if (m_delegate)
            m_delegate->quit();
    });
    return view;
}

void OnboardingWiring::showOnboardingPopover()
{
    // The popover of a running onboarding stays as it is: showing it again would take the step back.
    if (m_delegate && !m_delegate->isPopoverShown(PopoverKind::Onboarding))
        m_delegate->showOnboardingPopover();
}

void OnboardingWiring::closeOnboardingPopover()
{
    if (m_delegate && m_delegate->isPopoverShown(PopoverKind::Onboarding))
        m_delegate->closePopover(PopoverKind::Onboarding);
}

void OnboardingWiring::showPostOnboardingHint()
{
    if (m_delegate)
        m_delegate->showPopover(PopoverKind::PostOnboarding, true);
}

bool OnboardingWiring::openInBrowser(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void OnboardingWiring::connectCalendar()
{
    // Restoring the Google session is what starts the hourly sync for the account connected meanwhile.
    m_parts.calendar->restoreSession();
}

void OnboardingWiring::startMessagesPolling(std::chrono::seconds interval)
{
    m_parts.messages->startMessagesPolling(interval);
}

void OnboardingWiring::continueAtMicrophoneStep()
{
    m_flow->continueAtMicrophoneStep();
}

} // namespace brelta::shell
