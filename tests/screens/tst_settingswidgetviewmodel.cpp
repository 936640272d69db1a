// The settings model against the local backend, its timers on a hand-driven clock: debounced goal saves,
// one save at a time, rollback and error on failure, the delayed spinner, loads racing saves, the
// privacy-control switch and the reset at sign-out.

#include "platform/Clock.h"
#include "screens/settings/LanguageResolution.h"
#include "screens/settings/SettingsWidgetViewModel.h"
#include "testsupport/backend/ClientFixture.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using brelta::backend::ApiPreferences::AvailableGoal;
using brelta::backend::ApiPreferences::GlobalLanguageSpecifications;
using brelta::backend::ApiPreferences::LanguageSpecification;
using brelta::backend::ApiPreferences::UserPreferences;
using brelta::devserver::GatewayService;
using brelta::screens::SettingsWidgetViewModel;

namespace {

const AvailableGoal kConcise{QStringLiteral("GOAL_SPEAK_CONCISELY"), QStringLiteral("Speak concisely")};
const AvailableGoal kFiller{QStringLiteral("GOAL_REDUCE_FILLER_WORDS"), QStringLiteral("Use fewer filler words")};
const AvailableGoal kListen{QStringLiteral("GOAL_LISTEN_ACTIVELY"), QStringLiteral("Listen actively")};
const AvailableGoal kQuestions{QStringLiteral("GOAL_ASK_OPEN_QUESTIONS"), QStringLiteral("Ask open questions")};

QStringList sentGoals(const brelta::devserver::ReceivedRequest &request)
{
    QStringList goals;
    const nlohmann::json body = request.json();
    for (const auto &goal : body.at("goals"))
        goals << QString::fromStdString(goal.get<std::string>());
    return goals;
}

// A signed-in user with a model over the local backend; the model has loaded once.
struct ModelFixture
{
    ModelFixture()
    {
        backend.signIn();
        model = std::make_unique<SettingsWidgetViewModel>(
            SettingsWidgetViewModel::Dependencies{backend.client.get(), &backend.settings, &clock, nullptr});
        model->loadPreferences();
        if (!QTest::qWaitFor([&] { return !model->isLoading(); }, 5000) || model->errorLoading())
            qFatal("the first load did not succeed");
        backend.server.clearReceived();
    }

    QList<brelta::devserver::ReceivedRequest> goalPuts() const
    {
        return backend.server.receivedRequests(GatewayService::goalsPath);
    }

    brelta::testsupport::client::ClientFixture backend;
    brelta::platform::ManualClock clock;
    std::unique_ptr<SettingsWidgetViewModel> model;
};

LanguageSpecification lang(const char *code, const char *name)
{
    return {QString::fromLatin1(code), QString::fromLatin1(name)};
}

} // namespace

using OptionalLanguage = std::optional<LanguageSpecification>;
Q_DECLARE_METATYPE(OptionalLanguage)

class TestSettingsWidgetViewModel : public QObject
{
    Q_OBJECT

private slots:
    void languageResolution_data();
    void languageResolution();
    void offeredLanguagesFollowTheOfferedCodes();

    void toggleBurstSendsOnePutWithTheFinalList();
    void fourthGoalIsRefusedAndSchedulesNothing();
    void failedGoalSaveRollsBackWithHeaderError();
    void failedLanguageSaveRestoresTheSavedLanguage();
    void spinnerShowsOnlyOnceASaveHasRunHalfASecond();
    void supersededSaveIsQuietAndTheNewestListWins();
    void loadDuringASaveKeepsTheUnsavedSelection();
    void tooltipShowsForFiveSecondsAndHidesEarly();
    void privacySwitchStoresTheChoice();
    void privacySwitchOnAnUnwritableStoreGoesBack();
    void resetAtSignOutForgetsTheUserAndRunningSaves();
};

void TestSettingsWidgetViewModel::languageResolution_data()
{
    QTest::addColumn<QString>("userChoice"); // "-": none
    QTest::addColumn<QString>("defaultCode");
    QTest::addColumn<OptionalLanguage>("previous");
    QTest::addColumn<OptionalLanguage>("expected");

    const OptionalLanguage none;
    const OptionalLanguage italian = lang("it", "Italian");
    QTest::newRow("user choice wins over default") << "de"
                                                   << "en" << none << OptionalLanguage(lang("de", "German"));
    QTest::newRow("no choice takes the default") << "-"
                                                 << "en" << none << OptionalLanguage(lang("en", "English"));
    QTest::newRow("unknown choice falls back to default") << "xx"
                                                          << "en" << none << OptionalLanguage(lang("en", "English"));
    QTest::newRow("neither known keeps the previous") << "xx"
                                                      << "yy" << italian << italian;
    QTest::newRow("neither known on first load stays none") << "-"
                                                            << "yy" << none << none;
    QTest::newRow("codes compare case-sensitively") << "DE"
                                                    << "EN" << italian << italian;
    QTest::newRow("first matching entry wins") << "fr"
                                               << "en" << none << OptionalLanguage(lang("fr", "French"));
}

void TestSettingsWidgetViewModel::languageResolution()
{
    QFETCH(QString, userChoice);
    QFETCH(QString, defaultCode);
    QFETCH(OptionalLanguage, previous);
    QFETCH(OptionalLanguage, expected);

    GlobalLanguageSpecifications global;
    global.languageSpecifications = {lang("en", "English"), lang("de", "German"), lang("fr", "French"),
                                     lang("fr", "French (second entry)")};
    global.availableFeebackLanguages = {QStringLiteral("en"), QStringLiteral("de")};
    global.defaultFeedbackLanguage = defaultCode;
    UserPreferences user;
    if (userChoice != QLatin1String("-"))
        user.languagePreferences = brelta::backend::ApiPreferences::LanguagePreferences{userChoice};

    QCOMPARE(brelta::screens::resolveSelectedLanguage(global, user, previous), expected);
}

void TestSettingsWidgetViewModel::offeredLanguagesFollowTheOfferedCodes()
{
    GlobalLanguageSpecifications global;
    global.languageSpecifications = {lang("fr", "French"), lang("en", "English"), lang("en", "English again")};
    global.availableFeebackLanguages = {QStringLiteral("de"), QStringLiteral("en"), QStringLiteral("fr")};
    const std::vector<LanguageSpecification> expected{lang("en", "English"), lang("fr", "French")};
    QCOMPARE(brelta::screens::offeredLanguages(global), expected);
}

void TestSettingsWidgetViewModel::toggleBurstSendsOnePutWithTheFinalList()
{
    ModelFixture f;
    f.model->toggleGoal(kConcise);
    f.clock.advance(200ms);
    f.model->toggleGoal(kFiller);
    f.clock.advance(200ms);
    f.model->toggleGoal(kListen);
    f.model->toggleGoal(kConcise); // untoggled again: removed
    f.clock.advance(249ms);
    QTest::qWait(50);
    QCOMPARE(f.goalPuts().size(), 0);

    f.clock.advance(1ms);
    QTRY_COMPARE(f.goalPuts().size(), 1);
    const QStringList expected{kFiller.goal, kListen.goal};
    QCOMPARE(sentGoals(f.goalPuts().first()), expected);
    QTRY_COMPARE(f.model->prevSelectedGoals(), expected);
    QCOMPARE(f.model->selectedGoals(), expected);
    QVERIFY(!f.model->isErrorLoadingChange());

    // What was saved is what the next load brings.
    f.model->loadPreferences();
    QTRY_VERIFY(!f.model->isLoading());
    QCOMPARE(f.model->selectedGoals(), expected);
}

void TestSettingsWidgetViewModel::fourthGoalIsRefusedAndSchedulesNothing()
{
    ModelFixture f;
    for (const AvailableGoal &goal : {kConcise, kFiller, kListen})
        f.model->toggleGoal(goal);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.goalPuts().size(), 1);
    QTRY_COMPARE(f.model->prevSelectedGoals().size(), 3);

    QSignalSpy changed(f.model.get(), &SettingsWidgetViewModel::goalsChanged);
    f.model->toggleGoal(kQuestions);
    QCOMPARE(changed.size(), 0);
    f.clock.advance(1s);
    QTest::qWait(50);
    QCOMPARE(f.goalPuts().size(), 1);

    // Making room works again.
    f.model->toggleGoal(kFiller);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.goalPuts().size(), 2);
    QCOMPARE(sentGoals(f.goalPuts().last()), (QStringList{kConcise.goal, kListen.goal}));
}

void TestSettingsWidgetViewModel::failedGoalSaveRollsBackWithHeaderError()
{
    ModelFixture f;
    f.backend.server.failNext(GatewayService::goalsPath, 500);
    f.model->toggleGoal(kConcise);
    f.clock.advance(250ms);
    QTRY_VERIFY(f.model->isErrorLoadingChange());
    QCOMPARE(f.model->selectedGoals(), QStringList());
    QCOMPARE(f.model->prevSelectedGoals(), QStringList());

    // The next save clears the error as it starts, and succeeds.
    f.model->toggleGoal(kFiller);
    f.clock.advance(250ms);
    QVERIFY(!f.model->isErrorLoadingChange());
    QTRY_COMPARE(f.model->prevSelectedGoals(), QStringList{kFiller.goal});
}

void TestSettingsWidgetViewModel::failedLanguageSaveRestoresTheSavedLanguage()
{
    ModelFixture f;
    QCOMPARE(f.model->selectedLanguage()->language, QStringLiteral("en"));
    f.backend.server.failNext(GatewayService::languagePath, 500);
    f.model->selectLanguage(lang("de", "German"));
    QCOMPARE(f.model->selectedLanguage()->language, QStringLiteral("de"));
    QTRY_VERIFY(f.model->isErrorLoadingChange());
    QCOMPARE(f.model->selectedLanguage()->language, QStringLiteral("en"));

    f.model->selectLanguage(lang("fr", "French"));
    QTRY_COMPARE(f.model->prevSelectedLanguage()->language, QStringLiteral("fr"));
    QVERIFY(!f.model->isErrorLoadingChange());
}

void TestSettingsWidgetViewModel::spinnerShowsOnlyOnceASaveHasRunHalfASecond()
{
    ModelFixture f;
    f.backend.server.setHang(GatewayService::goalsPath, true);
    f.model->toggleGoal(kConcise);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.backend.server.heldRequestCount(), 1);
    f.clock.advance(490ms);
    QVERIFY(!f.model->isChangeLoading());
    f.clock.advance(10ms);
    QVERIFY(f.model->isChangeLoading());

    // A language save that ends quickly leaves the spinner of the goal save still running on.
    f.model->selectLanguage(lang("de", "German"));
    QTRY_COMPARE(f.model->prevSelectedLanguage()->language, QStringLiteral("de"));
    QVERIFY(f.model->isChangeLoading());

    // The held request gives up after the client's transfer timeout: the spinner goes.
    QTRY_VERIFY_WITH_TIMEOUT(!f.model->isChangeLoading(), 5000);
    QVERIFY(f.model->isErrorLoadingChange());
}

void TestSettingsWidgetViewModel::supersededSaveIsQuietAndTheNewestListWins()
{
    ModelFixture f;
    QSignalSpy errors(f.model.get(), &SettingsWidgetViewModel::errorLoadingChangeChanged);
    f.backend.server.setHang(GatewayService::goalsPath, true);
    f.model->toggleGoal(kConcise);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.backend.server.heldRequestCount(), 1);
    f.backend.server.setHang(GatewayService::goalsPath, false);

    f.model->toggleGoal(kFiller);
    f.clock.advance(250ms);
    QTest::qWait(50);
    QCOMPARE(f.goalPuts().size(), 1); // one in flight at a time

    // The first times out; the newest list goes next and decides.
    const QStringList newest{kConcise.goal, kFiller.goal};
    QTRY_COMPARE_WITH_TIMEOUT(f.goalPuts().size(), 2, 5000);
    QCOMPARE(sentGoals(f.goalPuts().last()), newest);
    QTRY_COMPARE(f.model->prevSelectedGoals(), newest);
    QCOMPARE(f.model->selectedGoals(), newest);
    QVERIFY(!f.model->isErrorLoadingChange());
    QCOMPARE(errors.size(), 0);
}

void TestSettingsWidgetViewModel::loadDuringASaveKeepsTheUnsavedSelection()
{
    ModelFixture f;
    f.backend.server.setHang(GatewayService::goalsPath, true);
    f.model->toggleGoal(kConcise);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.backend.server.heldRequestCount(), 1);

    f.model->loadPreferences(); // the backend still has no goals
    QTRY_VERIFY(!f.model->isLoading());
    QCOMPARE(f.model->selectedGoals(), QStringList{kConcise.goal});

    // A pending (not yet sent) selection is kept in the same way.
    f.backend.server.setHang(GatewayService::goalsPath, false);
    f.model->toggleGoal(kFiller);
    f.model->loadPreferences();
    QTRY_VERIFY(!f.model->isLoading());
    QCOMPARE(f.model->selectedGoals(), (QStringList{kConcise.goal, kFiller.goal}));
}

void TestSettingsWidgetViewModel::tooltipShowsForFiveSecondsAndHidesEarly()
{
    ModelFixture f;
    f.model->setEchoCancellationTooltip(false);
    QVERIFY(f.model->isEchoCancellationTooltipShown());
    f.clock.advance(3s);
    f.model->setEchoCancellationTooltip(false); // restarts the five seconds
    f.clock.advance(4999ms);
    QVERIFY(f.model->isEchoCancellationTooltipShown());
    f.clock.advance(1ms);
    QVERIFY(!f.model->isEchoCancellationTooltipShown());

    f.model->setEchoCancellationTooltip(false);
    f.clock.advance(1s);
    f.model->setEchoCancellationTooltip(true);
    QVERIFY(!f.model->isEchoCancellationTooltipShown());
    QSignalSpy changed(f.model.get(), &SettingsWidgetViewModel::tooltipShownChanged);
    f.clock.advance(10s);
    QCOMPARE(changed.size(), 0);
}

void TestSettingsWidgetViewModel::privacySwitchStoresTheChoice()
{
    ModelFixture f;
    QVERIFY(f.model->isUseWebViewRecorder()); // on by default
    QVERIFY(f.model->setUseWebViewRecorder(false));
    QVERIFY(!f.model->isUseWebViewRecorder());
    QVERIFY(f.model->isEchoCancellationTooltipShown());
    brelta::platform::SettingsStore reread(f.backend.settings.filePath());
    QCOMPARE(reread.boolValue(QStringLiteral("isUseWebViewRecorderNewest")), std::optional<bool>(false));
}

void TestSettingsWidgetViewModel::privacySwitchOnAnUnwritableStoreGoesBack()
{
    ModelFixture f;
    // A regular file where the folder should be: no write can succeed, whoever runs the test.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    brelta::platform::SettingsStore broken(blocker.fileName() + QStringLiteral("/brelta.ini"));
    SettingsWidgetViewModel model({f.backend.client.get(), &broken, &f.clock, nullptr});

    QSignalSpy switched(&model, &SettingsWidgetViewModel::useWebViewRecorderChanged);
    QVERIFY(!model.setUseWebViewRecorder(false));
    QVERIFY(model.isUseWebViewRecorder());
    QCOMPARE(switched.size(), 1); // the switch is told to read the value again
    QVERIFY(model.isErrorLoadingChange());
    QVERIFY(!model.isEchoCancellationTooltipShown());
}

void TestSettingsWidgetViewModel::resetAtSignOutForgetsTheUserAndRunningSaves()
{
    ModelFixture f;
    f.backend.server.setHang(GatewayService::goalsPath, true);
    f.model->toggleGoal(kConcise);
    f.clock.advance(250ms);
    QTRY_COMPARE(f.backend.server.heldRequestCount(), 1);
    f.model->toggleGoal(kFiller); // pending
    f.model->setEchoCancellationTooltip(false);
    f.clock.advance(500ms);
    QVERIFY(f.model->isChangeLoading());

    f.model->reset();
    QVERIFY(f.model->isLoading());
    QVERIFY(!f.model->hasLoadedOnce());
    QVERIFY(f.model->selectedGoals().isEmpty());
    QVERIFY(f.model->availableGoals().empty());
    QVERIFY(!f.model->selectedLanguage());
    QVERIFY(!f.model->isChangeLoading());
    QVERIFY(!f.model->isEchoCancellationTooltipShown());

    // Neither the pending save nor the held one's failure reaches the fresh model.
    QSignalSpy goals(f.model.get(), &SettingsWidgetViewModel::goalsChanged);
    QSignalSpy errors(f.model.get(), &SettingsWidgetViewModel::errorLoadingChangeChanged);
    f.clock.advance(1s);
    QTest::qWait(2500); // past the client's transfer timeout
    QCOMPARE(f.goalPuts().size(), 1);
    QCOMPARE(goals.size(), 0);
    QCOMPARE(errors.size(), 0);
    QVERIFY(f.model->selectedGoals().isEmpty());
}

QTEST_GUILESS_MAIN(TestSettingsWidgetViewModel)
#include "tst_settingswidgetviewmodel.moc"
