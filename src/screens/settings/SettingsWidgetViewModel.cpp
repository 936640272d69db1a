#include "screens/settings/SettingsWidgetViewModel.h"

#include "backend/client/ApiClient.h"
#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/StoredSettings.h"
#include "platform/telemetry/ErrorTracker.h"
#include "recording/recorders/RecorderErrors.h"
#include "screens/settings/LanguageResolution.h"

#include <QLoggingCategory>
#include <QPointer>

namespace brelta::screens {

Q_LOGGING_CATEGORY(lcSettingsModel, "brelta.screens.SettingsWidgetViewModel")

using backend::ApiPreferences::AvailableGoal;
using backend::ApiPreferences::GetPreferencesResponse;
using backend::ApiPreferences::LanguageSpecification;
using platform::settings::kUseWebViewRecorderNewest;

// One kind of save (goals or language): at most one request in flight, and whether a newer selection
// waits to be sent after it.
struct SettingsWidgetViewModel::SaveState
{
    bool running = false;
    bool queued = false;
    // Fires when the running save has taken kSpinnerDelay; each kind keeps its own, so one save ending
    // does not hide the spinner of another still running.
    std::unique_ptr<platform::Timer> spinnerTimer;
    bool spinnerDue = false;
};

SettingsWidgetViewModel::SettingsWidgetViewModel(Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_deps(dependencies)
    , m_goalTimer(m_deps.clock->createTimer())
    , m_tooltipTimer(m_deps.clock->createTimer())
    , m_goalSave(std::make_unique<SaveState>())
    , m_languageSave(std::make_unique<SaveState>())
{
    connect(m_goalTimer.get(), &platform::Timer::timeout, this, &SettingsWidgetViewModel::saveGoals);
    connect(m_tooltipTimer.get(), &platform::Timer::timeout, this, [this] {
        m_isTooltipShown = false;
        emit tooltipShownChanged();
    });
    for (SaveState *save : {m_goalSave.get(), m_languageSave.get()}) {
        save->spinnerTimer = m_deps.clock->createTimer();
        connect(save->spinnerTimer.get(), &platform::Timer::timeout, this, [this, save] {
            save->spinnerDue = true;
            updateChangeLoading();
        });
    }
}

SettingsWidgetViewModel::~SettingsWidgetViewModel() = default;

bool SettingsWidgetViewModel::isUseWebViewRecorder() const
{
    return m_deps.settings->value(kUseWebViewRecorderNewest);
}

// Loading --------------------------------------------------------------------------------------------

void SettingsWidgetViewModel::loadPreferences()
{
    const quint64 load = ++m_latestLoad;
    setLoading(true, false);
    runLoad(load, m_epoch);
}

QCoro::Task<> SettingsWidgetViewModel::runLoad(quint64 load, quint64 epoch)
{
    QPointer<SettingsWidgetViewModel> self(this);
    backend::ApiClient *client = m_deps.client;
    std::optional<GetPreferencesResponse> response;
    std::exception_ptr failure;
    try {
        QCoro::Task<GetPreferencesResponse> request = client->getPreferences();
        response = co_await std::move(request);
    } catch (...) {
        failure = std::current_exception();
    }
    // An older load answering after a newer one started must not overwrite what the newer one brings.
    if (!self || epoch != m_epoch || load != m_latestLoad)
        co_return;
    if (failure) {
        report(QStringLiteral("loading the preferences"), failure);
        setLoading(false, true);
        co_return;
    }
    applyPreferences(*response);
    m_hasLoadedOnce = true;
    setLoading(false, false);
}

void SettingsWidgetViewModel::applyPreferences(const GetPreferencesResponse &response)
{
    m_availableGoals = response.globalGoalSpecification.availableGoals;
    // A kind with a save waiting or running keeps the user's newer selection; its save decides.
    if (!goalSaveBusy()) {
        const auto &goals = response.userPreferences.goalPreferences;
        m_selectedGoals.clear();
        if (goals && goals->goals) {
            for (const QString &goal : *goals->goals)
                m_selectedGoals.append(goal);
        }
        m_prevSelectedGoals = m_selectedGoals;
    }
    emit goalsChanged();

    const auto &global = response.globalLanguageSpecification;
    m_availableLanguages = offeredLanguages(global);
    if (!m_languageSave->running && !m_languageSave->queued) {
        m_selectedLanguage = resolveSelectedLanguage(global, response.userPreferences, m_selectedLanguage);
        m_prevSelectedLanguage = m_selectedLanguage;
    }
    emit languagesChanged();
}

void SettingsWidgetViewModel::setLoading(bool loading, bool error)
{
    if (m_isLoading == loading && m_errorLoading == error)
        return;
    m_isLoading = loading;
    m_errorLoading = error;
    emit loadingChanged();
}

// Goals ----------------------------------------------------------------------------------------------

void SettingsWidgetViewModel::toggleGoal(const AvailableGoal &goal)
{
    if (m_selectedGoals.contains(goal.goal)) {
        m_selectedGoals.removeAll(goal.goal);
    } else if (m_selectedGoals.size() >= kMaxGoals) {
        return;
    } else {
        m_selectedGoals.append(goal.goal);
    }
    emit goalsChanged();
    m_goalTimer->start(kGoalSaveDelay, platform::Timer::Mode::SingleShot);
}

bool SettingsWidgetViewModel::goalSaveBusy() const
{
    return m_goalTimer->isActive() || m_goalSave->running || m_goalSave->queued;
}

void SettingsWidgetViewModel::saveGoals()
{
    if (m_goalSave->running) {
        m_goalSave->queued = true;
        return;
    }
    startGoalSave();
}

void SettingsWidgetViewModel::startGoalSave()
{
    m_goalSave->running = true;
    setErrorLoadingChange(false);
    beginSave(*m_goalSave);
    runGoalSave(m_selectedGoals, m_epoch);
}

QCoro::Task<> SettingsWidgetViewModel::runGoalSave(QStringList sent, quint64 epoch)
{
    QPointer<SettingsWidgetViewModel> self(this);
    backend::ApiClient *client = m_deps.client;
    std::exception_ptr failure;
    try {
        QCoro::Task<> request = client->setGoals(sent);
        co_await std::move(request);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || epoch != m_epoch)
        co_return;
    SaveState &save = *m_goalSave;
    save.running = false;
    endSave(save);
    if (!failure)
        m_prevSelectedGoals = sent;
    else
        report(QStringLiteral("saving the goals"), failure);

    // A newer selection is waiting: its save alone decides what the screen ends with.
    if (save.queued) {
        save.queued = false;
        startGoalSave();
        co_return;
    }
    if (m_goalTimer->isActive() || !failure)
        co_return;
    m_selectedGoals = m_prevSelectedGoals;
    emit goalsChanged();
    setErrorLoadingChange(true);
}

// Language -------------------------------------------------------------------------------------------

void SettingsWidgetViewModel::selectLanguage(const LanguageSpecification &language)
{
    m_selectedLanguage = language;
    emit languagesChanged();
    if (m_languageSave->running) {
        m_languageSave->queued = true;
        return;
    }
    startLanguageSave();
}

void SettingsWidgetViewModel::startLanguageSave()
{
    m_languageSave->running = true;
    setErrorLoadingChange(false);
    beginSave(*m_languageSave);
    runLanguageSave(*m_selectedLanguage, m_epoch);
}

QCoro::Task<> SettingsWidgetViewModel::runLanguageSave(LanguageSpecification sent, quint64 epoch)
{
    QPointer<SettingsWidgetViewModel> self(this);
    backend::ApiClient *client = m_deps.client;
    std::exception_ptr failure;
    try {
        QCoro::Task<> request = client->setFeedbackLanguage(sent.language);
        co_await std::move(request);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self || epoch != m_epoch)
        co_return;
    SaveState &save = *m_languageSave;
    save.running = false;
    endSave(save);
    if (!failure)
        m_prevSelectedLanguage = sent;
    else
        report(QStringLiteral("saving the feedback language"), failure);

    if (save.queued) {
        save.queued = false;
        startLanguageSave();
        co_return;
    }
    if (!failure)
        co_return;
    setErrorLoadingChange(true);
    m_selectedLanguage = m_prevSelectedLanguage;
    emit languagesChanged();
}

// Save feedback --------------------------------------------------------------------------------------

void SettingsWidgetViewModel::beginSave(SaveState &save)
{
    save.spinnerDue = false;
    save.spinnerTimer->start(kSpinnerDelay, platform::Timer::Mode::SingleShot);
}

void SettingsWidgetViewModel::endSave(SaveState &save)
{
    save.spinnerTimer->stop();
    save.spinnerDue = false;
    updateChangeLoading();
}

void SettingsWidgetViewModel::updateChangeLoading()
{
    const bool loading = m_goalSave->spinnerDue || m_languageSave->spinnerDue;
    if (loading == m_isChangeLoading)
        return;
    m_isChangeLoading = loading;
    emit changeLoadingChanged();
}

void SettingsWidgetViewModel::setErrorLoadingChange(bool error)
{
    if (error == m_isErrorLoadingChange)
        return;
    m_isErrorLoadingChange = error;
    emit errorLoadingChangeChanged();
}

void SettingsWidgetViewModel::report(const QString &what, const std::exception_ptr &failure)
{
    const QString description = recording::describeFailure(failure);
    qCWarning(lcSettingsModel).noquote() << what << "failed:" << description;
    if (m_deps.errorTracker)
        m_deps.errorTracker->captureError(QStringLiteral("SettingsError"),
                                          what + QStringLiteral(" failed: ") + description);
}

// Privacy control ------------------------------------------------------------------------------------

bool SettingsWidgetViewModel::setUseWebViewRecorder(bool on)
{
    const QString key = kUseWebViewRecorderNewest.key.storedName();
    const std::optional<bool> before = m_deps.settings->boolValue(key);
    if (m_deps.settings->value(kUseWebViewRecorderNewest) == on)
        return true;
    if (m_deps.settings->setValue(kUseWebViewRecorderNewest, on)) {
        setErrorLoadingChange(false);
        setEchoCancellationTooltip(on);
        emit useWebViewRecorderChanged();
        return true;
    }
    // The store keeps an unsaved value in memory; put the old one back there too, or the next recording
    // would follow a choice that the next launch forgets.
    if (before)
        m_deps.settings->setBool(key, *before);
    else
        m_deps.settings->remove(key);
    report(QStringLiteral("storing privacy control"),
           std::make_exception_ptr(std::runtime_error("the settings file could not be written")));
    setErrorLoadingChange(true);
    emit useWebViewRecorderChanged();
    return false;
}

void SettingsWidgetViewModel::setEchoCancellationTooltip(bool on)
{
    m_tooltipTimer->stop();
    const bool shown = !on;
    if (shown)
        m_tooltipTimer->start(kTooltipDuration, platform::Timer::Mode::SingleShot);
    if (shown == m_isTooltipShown)
        return;
    m_isTooltipShown = shown;
    emit tooltipShownChanged();
}

// Sign-out -------------------------------------------------------------------------------------------

void SettingsWidgetViewModel::reset()
{
    ++m_epoch;
    m_goalTimer->stop();
    m_tooltipTimer->stop();
    for (SaveState *save : {m_goalSave.get(), m_languageSave.get()}) {
        save->spinnerTimer->stop();
        save->running = false;
        save->queued = false;
        save->spinnerDue = false;
    }
    m_availableGoals.clear();
    m_selectedGoals.clear();
    m_prevSelectedGoals.clear();
    m_availableLanguages.clear();
    m_selectedLanguage.reset();
    m_prevSelectedLanguage.reset();
    m_hasLoadedOnce = false;
    m_isTooltipShown = false;
    updateChangeLoading();
    setErrorLoadingChange(false);
    setLoading(true, false);
    emit goalsChanged();
    emit languagesChanged();
    emit tooltipShownChanged();
}

} // namespace brelta::screens
