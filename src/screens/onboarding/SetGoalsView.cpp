#include "screens/onboarding/SetGoalsView.h"

#include "backend/client/ApiClient.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/LoaderView.h"
#include "screens/frames/OnboardingIconElement.h"
#include "screens/settings/SettingsWidgetViewModel.h"

#include <QGridLayout>
#include <QLoggingCategory>
#include <QStackedLayout>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcSetGoalsView, "brelta.screens.SetGoalsView")

namespace brelta::screens {

using designsystem::BrandButton;

namespace {

constexpr int kGridSpacing = 4;
constexpr int kGridSidePadding = 8;
constexpr int kGridRaise = 16;
constexpr int kColumns = 2;

// Frame-owned: the hand-off may go (the program quits) while the request runs.
QCoro::Task<> sendGoals(QPointer<GoalsSaveHandOff> handOff, backend::ApiClient *client, QStringList goals)
{
    try {
        QCoro::Task<> request = client->setGoals(goals);
        co_await std::move(request);
    } catch (const std::exception &error) {
        qCWarning(lcSetGoalsView).noquote() << "the goals chosen before leaving could not be saved:" << error.what();
    } catch (...) {
        qCWarning(lcSetGoalsView) << "the goals chosen before leaving could not be saved";
    }
    if (handOff)
        emit handOff->settled();
}

} // namespace

void GoalsSaveHandOff::send(backend::ApiClient *client, QStringList goals)
{
    m_pending = true;
    connect(this, &GoalsSaveHandOff::settled, this, [this] { m_pending = false; });
    sendGoals(QPointer<GoalsSaveHandOff>(this), client, std::move(goals));
}

// Page --------------------------------------------------------------------------------------------------

SetGoalsView::SetGoalsView(std::unique_ptr<SettingsWidgetViewModel> model, std::function<void()> onSkipPress,
                           std::function<void()> onNextPress, QPointer<GoalsSaveHandOff> previous, QWidget *parent)
    : QWidget(parent)
    , m_model(std::move(model))
    , m_previous(std::move(previous))
{
    auto *stateArea = new QWidget;
    m_states = new QStackedLayout(stateArea);

    m_loading = new QWidget;
    auto *loadingLayout = new QVBoxLayout(m_loading);
    loadingLayout->setContentsMargins(0, 0, 0, 0);
    loadingLayout->addStretch();
    loadingLayout->addWidget(new designsystem::LoaderView, 0, Qt::AlignHCenter);
    loadingLayout->addStretch();
    m_states->addWidget(m_loading);

    m_loadFailed = new QWidget;
    auto *failedLayout = new QVBoxLayout(m_loadFailed);
    failedLayout->setContentsMargins(0, 0, 0, 0);
    failedLayout->addWidget(new designsystem::ErrorBanner(kLoadError));
    m_tryAgain = new BrandButton(QStringLiteral("Try again"), std::nullopt, BrandButton::Type::Text,
                                 BrandButton::Shape::Smooth, BrandButton::Size::Small);
    failedLayout->addWidget(m_tryAgain, 0, Qt::AlignHCenter);
    failedLayout->addStretch();
    connect(m_tryAgain, &BrandButton::clicked, this, [this] { m_model->loadPreferences(); });
    m_states->addWidget(m_loadFailed);

    m_goals = new QWidget;
    auto *goalsLayout = new QVBoxLayout(m_goals);
    goalsLayout->setContentsMargins(0, 0, 0, 0);
    goalsLayout->setSpacing(0);
    auto *gridHost = new QWidget;
    m_grid = new QGridLayout(gridHost);
    m_grid->setContentsMargins(kGridSidePadding, 0, kGridSidePadding, 0);
    m_grid->setHorizontalSpacing(kGridSpacing);
    m_grid->setVerticalSpacing(kGridSpacing);
    for (int column = 0; column < kColumns; ++column)
        m_grid->setColumnStretch(column, 1);
    goalsLayout->addSpacing(-kGridRaise);
    goalsLayout->addWidget(gridHost);
    goalsLayout->addStretch();
    m_saveError = new designsystem::ErrorBanner(kSaveError);
    goalsLayout->addWidget(m_saveError);
    goalsLayout->addSpacing(4);
    m_continue = new BrandButton(QStringLiteral("Continue"), std::nullopt, BrandButton::Type::Primary,
                                 BrandButton::Shape::Smooth, BrandButton::Size::Medium);
    m_continue->setFullSize(true);
    goalsLayout->addWidget(m_continue);
    connect(m_continue, &BrandButton::clicked, this, [onNextPress] {
        if (onNextPress)
            onNextPress();
    });
    m_states->addWidget(m_goals);

    auto *page = new OnboardingIconElement(kTitle, kSubtitle, designsystem::IconName::Progress, std::move(onSkipPress),
                                           stateArea);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);

    connect(m_model.get(), &SettingsWidgetViewModel::loadingChanged, this, &SetGoalsView::refreshState);
    connect(m_model.get(), &SettingsWidgetViewModel::goalsChanged, this, &SetGoalsView::rebuildChips);
    connect(m_model.get(), &SettingsWidgetViewModel::errorLoadingChangeChanged, this, &SetGoalsView::refreshState);
    rebuildChips();
    refreshState();
}

SetGoalsView::~SetGoalsView() = default;

void SetGoalsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        load();
}

void SetGoalsView::load()
{
    if (m_previous && m_previous->isPending()) {
        // Reading now would bring back the list from before the last visit's choice.
        connect(m_previous, &GoalsSaveHandOff::settled, this, &SetGoalsView::load, Qt::SingleShotConnection);
        return;
    }
    m_model->loadPreferences();
}

GoalsSaveHandOff *SetGoalsView::leave(backend::ApiClient *client, QObject *owner)
{
    if (std::exchange(m_left, true))
        return nullptr;
    const QStringList chosen = m_model->selectedGoals();
    const bool pending = m_model->hasLoadedOnce() && chosen != m_model->prevSelectedGoals();
    // Its own timer and answers die with it; ours carries the newest list.
    m_model->reset();
    if (!pending)
        return nullptr;
    auto *handOff = new GoalsSaveHandOff(owner);
    handOff->send(client, chosen);
    connect(handOff, &GoalsSaveHandOff::settled, handOff, &QObject::deleteLater);
    return handOff;
}

void SetGoalsView::refreshState()
{
    if (m_model->isLoading())
        m_states->setCurrentWidget(m_loading);
    else if (m_model->errorLoading())
        m_states->setCurrentWidget(m_loadFailed);
    else
        m_states->setCurrentWidget(m_goals);
    m_saveError->setVisible(m_model->isErrorLoadingChange());
    rebuildChips();
}

void SetGoalsView::rebuildChips()
{
    const auto &goals = m_model->availableGoals();
    bool same = qsizetype(goals.size()) == m_chips.size();
    for (qsizetype i = 0; same && i < m_chips.size(); ++i)
        same = m_chips[i]->title() == goals[size_t(i)].humanReadableGoalName;
    if (!same) {
        qDeleteAll(m_chips);
        m_chips.clear();
        for (size_t i = 0; i < goals.size(); ++i) {
            auto *chip = new GoalChip(goals[i].humanReadableGoalName, GoalChip::Style::Onboarding);
            const backend::ApiPreferences::AvailableGoal goal = goals[i];
            // The model decides; the chip shows what it decided.
            connect(chip, &GoalChip::clicked, this, [this, goal] {
                m_model->toggleGoal(goal);
                refreshChips();
            });
            m_grid->addWidget(chip, int(i) / kColumns, int(i) % kColumns);
            m_chips << chip;
        }
    }
    refreshChips();
}

void SetGoalsView::refreshChips()
{
    const auto &goals = m_model->availableGoals();
    const QStringList &selected = m_model->selectedGoals();
    for (qsizetype i = 0; i < m_chips.size() && size_t(i) < goals.size(); ++i) {
        const bool isSelected = selected.contains(goals[size_t(i)].goal);
        m_chips[i]->setSelected(isSelected);
        m_chips[i]->setEnabled(isSelected || selected.size() < SettingsWidgetViewModel::kMaxGoals);
    }
}

} // namespace brelta::screens
