#pragma once

#include "backend/records/ApiPreferences.h"

#include <QObject>
#include <QStringList>

#include <QCoroTask>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace brelta::platform {
class Clock;
class ErrorTracker;
class SettingsStore;
class Timer;
} // namespace brelta::platform
namespace brelta::backend {
class ApiClient;
}

namespace brelta::screens {

// What the settings panel and the goals step show and change: the user's goals and feedback language
// (loaded from and saved to the backend) and privacy control (stored locally). One shared instance lives
// as long as the program; the shell calls reset() at sign-out so the next user starts clean.
//
// Saves are debounced and run one at a time per kind: a change made while a save runs is sent after it,
// and only the newest save's outcome decides what the screen shows.
class SettingsWidgetViewModel : public QObject
{
    Q_OBJECT

public:
    struct Dependencies
    {
        backend::ApiClient *client = nullptr;
        platform::SettingsStore *settings = nullptr;
        platform::Clock *clock = nullptr;
        platform::ErrorTracker *errorTracker = nullptr; // may be null: failures are then only logged
    };

    static constexpr int kMaxGoals = 3;
    static constexpr std::chrono::milliseconds kGoalSaveDelay{250};
    static constexpr std::chrono::milliseconds kSpinnerDelay{500};
    static constexpr std::chrono::milliseconds kTooltipDuration{5000};

    // Every dependency must outlive the model.
    explicit SettingsWidgetViewModel(Dependencies dependencies, QObject *parent = nullptr);
    ~SettingsWidgetViewModel() override;

    bool isLoading() const { return m_isLoading; }
    bool errorLoading() const { return m_errorLoading; }
    bool hasLoadedOnce() const { return m_hasLoadedOnce; }

    const std::vector<backend::ApiPreferences::AvailableGoal> &availableGoals() const { return m_availableGoals; }
    const QStringList &selectedGoals() const { return m_selectedGoals; }
    const QStringList &prevSelectedGoals() const { return m_prevSelectedGoals; }

    const std::vector<backend::ApiPreferences::LanguageSpecification> &availableLanguages() const
    {
        return m_availableLanguages;
    }
    const std::optional<backend::ApiPreferences::LanguageSpecification> &selectedLanguage() const
    {
        return m_selectedLanguage;
    }
    const std::optional<backend::ApiPreferences::LanguageSpecification> &prevSelectedLanguage() const
    {
        return m_prevSelectedLanguage;
    }

    // A save has been running for at least kSpinnerDelay.
    bool isChangeLoading() const { return m_isChangeLoading; }
    // The newest save of goals or language failed; cleared when the next one starts.
    bool isErrorLoadingChange() const { return m_isErrorLoadingChange; }
    bool isEchoCancellationTooltipShown() const { return m_isTooltipShown; }
    // Privacy control, read from the store.
    bool isUseWebViewRecorder() const;

    // Starts a load; returns at once. Only the newest load applies its answer.
    void loadPreferences();
    // Adds or removes a goal and schedules a save; a goal beyond the third is refused.
    void toggleGoal(const backend::ApiPreferences::AvailableGoal &goal);
    // Shows `language` as chosen and saves it.
    void selectLanguage(const backend::ApiPreferences::LanguageSpecification &language);
    // Switches privacy control. Returns false when the choice could not be stored: the switch then
    // stays as it was and the header shows the save error.
    bool setUseWebViewRecorder(bool on);
    // Shows the warning tooltip for kTooltipDuration when privacy control goes off; hides it when it goes on.
    void setEchoCancellationTooltip(bool on);

    // Back to a fresh model, as at sign-out: timers stopped, answers of requests still running ignored.
    void reset();

signals:
    void loadingChanged();
    void goalsChanged();
    void languagesChanged();
    void changeLoadingChanged();
    void errorLoadingChangeChanged();
    void tooltipShownChanged();
    void useWebViewRecorderChanged();

private:
    struct SaveState;

    void saveGoals();
    void startGoalSave();
    void startLanguageSave();
    QCoro::Task<> runLoad(quint64 load, quint64 epoch);
    QCoro::Task<> runGoalSave(QStringList sent, quint64 epoch);
    QCoro::Task<> runLanguageSave(backend::ApiPreferences::LanguageSpecification sent, quint64 epoch);
    void applyPreferences(const backend::ApiPreferences::GetPreferencesResponse &response);
    void beginSave(SaveState &save);
    void endSave(SaveState &save);
    void updateChangeLoading();
    void setErrorLoadingChange(bool error);
    void setLoading(bool loading, bool error);
    void report(const QString &what, const std::exception_ptr &failure);
    bool goalSaveBusy() const;

    Dependencies m_deps;
    // Bumped by reset(): a request started before it finds a different number and leaves the model alone.
    quint64 m_epoch = 0;
    quint64 m_latestLoad = 0;

    bool m_isLoading = true;
    bool m_errorLoading = false;
    bool m_hasLoadedOnce = false;
    std::vector<backend::ApiPreferences::AvailableGoal> m_availableGoals;
    QStringList m_selectedGoals;
    QStringList m_prevSelectedGoals;
    std::vector<backend::ApiPreferences::LanguageSpecification> m_availableLanguages;
    std::optional<backend::ApiPreferences::LanguageSpecification> m_selectedLanguage;
    std::optional<backend::ApiPreferences::LanguageSpecification> m_prevSelectedLanguage;
    bool m_isChangeLoading = false;
    bool m_isErrorLoadingChange = false;
    bool m_isTooltipShown = false;

    std::unique_ptr<platform::Timer> m_goalTimer;
    std::unique_ptr<platform::Timer> m_tooltipTimer;
    std::unique_ptr<SaveState> m_goalSave;
    std::unique_ptr<SaveState> m_languageSave;
};

} // namespace brelta::screens
