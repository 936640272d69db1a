#pragma once

#include "backend/records/ApiPreferences.h"
#include "screens/settings/GoalChip.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QGridLayout;
class QStackedLayout;

namespace brelta::backend {
class ApiClient;
}
namespace brelta::designsystem {
class BrandButton;
class ErrorBanner;
} // namespace brelta::designsystem

namespace brelta::screens {

class SettingsWidgetViewModel;

// The goals a page left behind unsaved: sent at once when the page goes, so the next visit's load can wait
// for them instead of reading back the list from before.
class GoalsSaveHandOff : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    bool isPending() const { return m_pending; }
    // Sends `goals` through `client`; settled() follows, whatever the answer.
    void send(backend::ApiClient *client, QStringList goals);

signals:
    void settled();

private:
    bool m_pending = false;
};

// The goals page: up to three goals from the backend's list, saved by the settings model as they are
// chosen; "Continue" and "Skip" go on without waiting for the save.
//
// The page owns its model (a new one for each visit) and loads it when shown. Leaving the page sends a
// pending save at once; the model lives on until that save has answered, so nothing chosen is lost.
class SetGoalsView : public QWidget
{
    Q_OBJECT

public:
    static inline const QString kTitle = QStringLiteral("Set your goals");
    static inline const QString kSubtitle =
        QStringLiteral("To better coach you, tell us your goals with using Brelta. Choose up to three.");
    static inline const QString kLoadError = QStringLiteral("Couldn't load goals. Please try again");
    static inline const QString kSaveError = QStringLiteral("Something went wrong.");

    // `previous`: what the last visit left unsaved (may be null); the load waits for it.
    SetGoalsView(std::unique_ptr<SettingsWidgetViewModel> model, std::function<void()> onSkipPress,
                 std::function<void()> onNextPress, QPointer<GoalsSaveHandOff> previous = {},
                 QWidget *parent = nullptr);
    ~SetGoalsView() override;

    SettingsWidgetViewModel *model() const { return m_model.get(); }
    QList<GoalChip *> chips() const { return m_chips; }
    designsystem::BrandButton *continueButton() const { return m_continue; }
    designsystem::BrandButton *tryAgainButton() const { return m_tryAgain; }

    // The page goes: a choice not yet saved is sent now rather than dropped with the model. The hand-off,
    // owned by `owner`, says when it has answered; null when nothing was pending.
    GoalsSaveHandOff *leave(backend::ApiClient *client, QObject *owner);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshState();
    void rebuildChips();
    void refreshChips();

    void load();

    std::unique_ptr<SettingsWidgetViewModel> m_model;
    QPointer<GoalsSaveHandOff> m_previous;
    bool m_left = false;
    QStackedLayout *m_states = nullptr;
    QWidget *m_loading = nullptr;
    QWidget *m_loadFailed = nullptr;
    QWidget *m_goals = nullptr;
    QGridLayout *m_grid = nullptr;
    QList<GoalChip *> m_chips;
    designsystem::ErrorBanner *m_saveError = nullptr;
    designsystem::BrandButton *m_continue = nullptr;
    designsystem::BrandButton *m_tryAgain = nullptr;
};

} // namespace brelta::screens
