#pragma once

#include "screens/onboarding/OnboardingStep.h"
#include "screens/settings/SettingsWidgetViewModel.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>

namespace brelta::analytics {
class AnalyticsManager;
}
namespace brelta::designsystem {
class AlertPresenter;
}
namespace brelta::screens {

class GoalsSaveHandOff;
class GoogleConnection;
class OnboardingBackgroundView;
class OnboardingFlow;
class TrialRecorder;

// The onboarding popover's content: the current step's page on the onboarding background (the glow on the
// welcome page only). Each step change slides the new page in from the trailing edge while the old one
// leaves at the leading edge. Showing the view (the popover went from hidden to shown) asks the flow for
// its opening step.
class OnboardingView : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kSlideDuration{250};
    static constexpr std::chrono::milliseconds kCalendarBannerDelay{200};
    static constexpr std::chrono::milliseconds kCalendarHandOver{1500};

    struct Dependencies
    {
        OnboardingFlow *flow = nullptr;
        // For the goals page's own model, one per visit.
        SettingsWidgetViewModel::Dependencies settingsModel;
        TrialRecorder *recorder = nullptr;
        designsystem::AlertPresenter *alerts = nullptr;
        GoogleConnection *google = nullptr;                     // may be null: "Connect" does nothing
        const analytics::AnalyticsManager *analytics = nullptr; // may be null
    };

    explicit OnboardingView(Dependencies dependencies, QWidget *parent = nullptr);
    ~OnboardingView() override;

    OnboardingBackgroundView *background() const { return m_background; }
    // The page of the current step.
    QWidget *currentPage() const { return m_page; }
    bool isSliding() const { return m_slide.state() == QAbstractAnimation::Running; }

signals:
    // "Quit Brelta" in the welcome page's menu.
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showStep(OnboardingStep step);
    QWidget *makePage(OnboardingStep step);
    void finishSlide();

    Dependencies m_deps;
    OnboardingBackgroundView *m_background;
    QWidget *m_stage;
    QPointer<QWidget> m_page;
    QPointer<QWidget> m_leaving;
    QVariantAnimation m_slide;
    QPointer<GoalsSaveHandOff> m_goalsHandOff;
};

} // namespace brelta::screens
