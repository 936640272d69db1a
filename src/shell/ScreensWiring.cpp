#include "shell/ScreensWiring.h"

#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "recording/session/RecordingsDirectory.h"
#include "screens/WebAddress.h"
#include "screens/frames/OnboardingBackgroundView.h"
#include "screens/settings/SettingsView.h"
#include "screens/settings/SettingsWidgetView.h"
#include "screens/settings/SettingsWidgetViewModel.h"
#include "screens/signin/SignInView.h"
#include "shell/MainView.h"
#include "shell/PopoverSizes.h"

#include "designsystem/components/WidgetContainerView.h"

namespace brelta::shell {

ScreensWiring::ScreensWiring(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(dependencies)
    , m_model(std::make_unique<screens::SettingsWidgetViewModel>(screens::SettingsWidgetViewModel::Dependencies{
          m_deps.client, m_deps.settings, m_deps.clock, m_deps.errorTracker}))
{}

ScreensWiring::~ScreensWiring() = default;

QWidget *ScreensWiring::makeSignInRoot(std::function<void(const QString &, const QString &)> didSignIn,
                                       std::function<void()> quit)
{
    // No session delegate: the user is stored by didSignIn, once. The form lives until then (the main root
    // discards it only once a user is stored), so its answer always finds it.
    auto *signIn = new screens::SignInView({m_deps.client, nullptr, screens::web::compiledInBase()});
    connect(signIn, &screens::SignInView::signedIn, signIn,
            [didSignIn = std::move(didSignIn)](const QString &userId, const QString &email) {
                if (didSignIn)
                    didSignIn(userId, email);
            });
    connect(signIn, &screens::SignInView::quitChosen, signIn, [quit = std::move(quit)] {
        if (quit)
            quit();
    });
    auto *root = new screens::OnboardingBackgroundView(true, signIn);
    root->setFixedSize(sizes::kOnboardingPopoverSize);
    return root;
}

void ScreensWiring::mountSettings(MainView *mainView)
{
    screens::SettingsWidgetView::Dependencies deps;
    deps.model = m_model.get();
    deps.clock = m_deps.clock;
    deps.calendar = m_deps.calendar;
    deps.recorder = m_deps.recorder;
    deps.analytics = m_deps.analytics;
    deps.network = m_deps.network;
    platform::SettingsStore *settings = m_deps.settings;
    deps.username = [settings] { return settings->value(platform::settings::kUsername); };
    deps.webBase = screens::web::compiledInBase();
    auto *panel = new screens::SettingsWidgetView(std::move(deps));
    m_panel = panel;
    panel->setContainer(mainView->setPanelContent(MainViewMode::Settings, QStringLiteral("Settings"), panel));
}

QWidget *ScreensWiring::makeSettingsView()
{
    return new screens::SettingsView({m_deps.settings, [] { return recording::recordingsDirectory(); }, {}});
}

void ScreensWiring::focusPrivacySettings()
{
    if (m_panel)
        m_panel->focusPrivacySettings();
}

void ScreensWiring::signedOut()
{
    m_model->reset();
}

} // namespace brelta::shell
