#include "screens/onboarding/OnboardingView.h"

#include "designsystem/components/HighlightBlurView.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/onboarding/OnboardingFlow.h"
#include "screens/onboarding/OnboardingPages.h"
#include "screens/onboarding/SetGoalsView.h"
#include "screens/onboarding/TrialRecording.h"

#include <QLoggingCategory>
#include <QShowEvent>

Q_LOGGING_CATEGORY(lcOnboardingView, "brelta.screens.OnboardingView")

namespace brelta::screens {

OnboardingView::OnboardingView(Dependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_deps(std::move(dependencies))
    , m_stage(new QWidget)
{
    m_background = new OnboardingBackgroundView(true, m_stage, this);
    m_slide.setDuration(int(kSlideDuration.count()));
    m_slide.setEasingCurve(QEasingCurve::InOutQuad);
    m_slide.setStartValue(0.0);
    m_slide.setEndValue(1.0);
    connect(&m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const int width = m_stage->width();
        const qreal progress = value.toReal();
        // Trailing edge in, leading edge out, mirrored for right-to-left layouts.
        const int direction = layoutDirection() == Qt::RightToLeft ? -1 : 1;
        if (m_page)
            m_page->move(direction * int((1 - progress) * width), 0);
        if (m_leaving)
            m_leaving->move(-direction * int(progress * width), 0);
    });
    connect(&m_slide, &QVariantAnimation::finished, this, &OnboardingView::finishSlide);
    connect(m_deps.flow, &OnboardingFlow::stepChanged, this, &OnboardingView::showStep);
    showStep(m_deps.flow->step());
}

OnboardingView::~OnboardingView() = default;

void OnboardingView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_deps.flow->shown();
}

void OnboardingView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
    if (!isSliding() && m_page)
        m_page->setGeometry(m_stage->rect());
}

void OnboardingView::showStep(OnboardingStep step)
{
    if (m_background->highlight())
        m_background->highlight()->setVisible(step == OnboardingStep::Welcome);
    finishSlide();
    if (auto *goals = qobject_cast<SetGoalsView *>(m_page.data())) {
        if (GoalsSaveHandOff *handOff = goals->leave(m_deps.settingsModel.client, this))
            m_goalsHandOff = handOff;
    }
    m_leaving = m_page;
    m_page = makePage(step);
    m_page->setParent(m_stage);
    m_page->setGeometry(m_stage->rect());
    m_page->show();
    if (!m_leaving || !isVisible()) {
        finishSlide();
        return;
    }
    m_slide.stop();
    m_slide.start();
}

void OnboardingView::finishSlide()
{
    m_slide.stop();
    if (m_leaving) {
        m_leaving->hide();
        m_leaving->deleteLater();
        m_leaving = nullptr;
    }
    if (m_page)
        m_page->setGeometry(m_stage->rect());
}

QWidget *OnboardingView::makePage(OnboardingStep step)
{
    OnboardingFlow *flow = m_deps.flow;
    switch (step) {
    case OnboardingStep::Welcome:
        return makeWelcomePage([flow] { flow->signInPressed(); }, [flow] { flow->signUpPressed(); },
                               [this] { emit quitRequested(); });
    case OnboardingStep::SetGoals:
        return new SetGoalsView(
            std::make_unique<SettingsWidgetViewModel>(m_deps.settingsModel), [flow] { flow->goalsDone(); },
            [flow] { flow->goalsDone(); }, m_goalsHandOff);
    case OnboardingStep::CalendarSync:
        return new CalendarSyncPage(m_deps.google, m_deps.analytics, [flow] { flow->calendarDone(); });
    case OnboardingStep::MicrophonePermission:
        return makeMicrophonePermissionPage([flow] { flow->turnOnMicrophone(); });
    case OnboardingStep::SystemAudioPermission:
        return makeSystemAudioPermissionPage([flow] { flow->giveSystemAudioAccess(); });
    case OnboardingStep::TryRecording: {
        auto *control = new TrialRecordingControl(TrialRecordingControl::Dependencies{
            m_deps.recorder, m_deps.alerts, m_deps.analytics, m_deps.settingsModel.errorTracker});
        connect(control, &TrialRecordingControl::finished, flow, &OnboardingFlow::trialRecordingFinished);
        auto *page = new TryRecordingPage(m_deps.recorder, control, [flow] { flow->finishOnboarding(); });
        control->setParent(page);
        return page;
    }
    case OnboardingStep::PostRecording:
        return makePostRecordingPage([flow] { flow->finishOnboarding(); });
    }
    qCWarning(lcOnboardingView) << "no page for step" << int(step);
    return new QWidget;
}

} // namespace brelta::screens
