#include "backend/records/ApiPreferences.h"

#include <QSet>
#include <QTest>

#include <unordered_set>

using namespace brelta::backend::ApiPreferences;
using brelta::platform::decodeJson;
using brelta::platform::JsonDecodeError;

namespace {

// One-line literals: moc loses track of raw strings that span lines.
const char *const kAnswer =
    R"({"userPreferences": {)"
    R"(    "languagePreferences": {"feedbackLanguage": "de"},)"
    R"(    "goalPreferences": {"goals": ["GOAL_CLARITY", "GOAL_PACE"]}},)"
    R"( "globalGoalSpecification": {"availableGoals": [)"
    R"(    {"goal": "GOAL_CLARITY", "humanReadableGoalName": "Speak clearly"},)"
    R"(    {"goal": "GOAL_PACE", "humanReadableGoalName": "Keep a steady pace", "icon": "pace.svg"}]},)"
    R"( "globalLanguageSpecification": {)"
    R"(    "languageSpecifications": [)"
    R"(        {"language": "en", "nameInEnglish": "English"},)"
    R"(        {"language": "de", "nameInEnglish": "German"}],)"
    R"(    "availableFeebackLanguages": ["en", "de"],)"
    R"(    "defaultFeedbackLanguage": "en"},)"
    R"( "defaultFeedbackLanguage": "fr",)"
    R"( "revision": 4})";

// The answer above changed by a JSON Patch (RFC 6902), so each row shows only what it changes.
QByteArray patchedAnswer(const QByteArray &patch)
{
    const nlohmann::json answer = nlohmann::json::parse(kAnswer);
    return QByteArray::fromStdString(answer.patch(nlohmann::json::parse(patch.toStdString())).dump());
}

QString goalsState(const GetPreferencesResponse &response)
{
    const auto &goalPreferences = response.userPreferences.goalPreferences;
    if (!goalPreferences)
        return QStringLiteral("no goal preferences");
    if (!goalPreferences->goals)
        return QStringLiteral("no goals");
    QStringList goals(goalPreferences->goals->begin(), goalPreferences->goals->end());
    return QStringLiteral("goals: ") + goals.join(QLatin1Char(','));
}

} // namespace

class ApiPreferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheWholeAnswer()
    {
        const auto response = decodeJson<GetPreferencesResponse>(QByteArray(kAnswer));
        QCOMPARE(response.userPreferences.languagePreferences->feedbackLanguage,
                 std::optional<QString>(QStringLiteral("de")));
        QCOMPARE(goalsState(response), QStringLiteral("goals: GOAL_CLARITY,GOAL_PACE"));
        QCOMPARE(response.globalGoalSpecification.availableGoals,
                 (std::vector<AvailableGoal>{{QStringLiteral("GOAL_CLARITY"), QStringLiteral("Speak clearly")},
                                             {QStringLiteral("GOAL_PACE"), QStringLiteral("Keep a steady pace")}}));
        const GlobalLanguageSpecifications &languages = response.globalLanguageSpecification;
        QCOMPARE(languages.languageSpecifications,
                 (std::vector<LanguageSpecification>{{QStringLiteral("en"), QStringLiteral("English")},
                                                     {QStringLiteral("de"), QStringLiteral("German")}}));
        QCOMPARE(languages.availableFeebackLanguages,
                 (std::vector<QString>{QStringLiteral("en"), QStringLiteral("de")}));
        // The two defaults are separate fields.
        QCOMPARE(languages.defaultFeedbackLanguage, QStringLiteral("en"));
        QCOMPARE(response.defaultFeedbackLanguage, std::optional<QString>(QStringLiteral("fr")));
    }

    void absentIsNotDefaulted_data()
    {
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<bool>("languagePreferences");
        QTest::addColumn<QString>("goals");
        QTest::addColumn<bool>("topLevelDefault");

        QTest::newRow("empty user preferences")
            << QByteArray(R"([{"op": "replace", "path": "/userPreferences", "value": {}}])") << false
            << "no goal preferences" << true;
        QTest::newRow("goal preferences null")
            << QByteArray(R"([{"op": "replace", "path": "/userPreferences/goalPreferences", "value": null}])") << true
            << "no goal preferences" << true;
        QTest::newRow("goals null") << QByteArray(
            R"([{"op": "replace", "path": "/userPreferences/goalPreferences/goals", "value": null}])")
                                    << true << "no goals" << true;
        QTest::newRow("goals missing") << QByteArray(
            R"([{"op": "remove", "path": "/userPreferences/goalPreferences/goals"}])")
                                       << true << "no goals" << true;
        QTest::newRow("goals empty") << QByteArray(
            R"([{"op": "replace", "path": "/userPreferences/goalPreferences/goals", "value": []}])")
                                     << true << "goals: " << true;
        QTest::newRow("no top-level default language")
            << QByteArray(R"([{"op": "remove", "path": "/defaultFeedbackLanguage"}])") << true
            << "goals: GOAL_CLARITY,GOAL_PACE" << false;
    }

    void absentIsNotDefaulted()
    {
        QFETCH(QByteArray, patch);
        QFETCH(bool, languagePreferences);
        QFETCH(QString, goals);
        QFETCH(bool, topLevelDefault);
        const auto response = decodeJson<GetPreferencesResponse>(patchedAnswer(patch));
        QCOMPARE(response.userPreferences.languagePreferences.has_value(), languagePreferences);
        QCOMPARE(goalsState(response), goals);
        QCOMPARE(response.defaultFeedbackLanguage.has_value(), topLevelDefault);
    }

    void failuresFailTheWholeAnswer_data()
    {
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QString>("error");

        QTest::newRow("catalogue without its default language")
            << QByteArray(R"([{"op": "remove", "path": "/globalLanguageSpecification/defaultFeedbackLanguage"}])")
            << "globalLanguageSpecification.defaultFeedbackLanguage: missing";
        QTest::newRow("feedback spelled with its d")
            << QByteArray(R"([{"op": "move", "from": "/globalLanguageSpecification/availableFeebackLanguages",)"
                          R"( "path": "/globalLanguageSpecification/availableFeedbackLanguages"}])")
            << "globalLanguageSpecification.availableFeebackLanguages: missing";
        QTest::newRow("goal without its name")
            << QByteArray(
                   R"([{"op": "remove", "path": "/globalGoalSpecification/availableGoals/1/humanReadableGoalName"}])")
            << "globalGoalSpecification.availableGoals[1].humanReadableGoalName: missing";
        QTest::newRow("user preferences missing")
            << QByteArray(R"([{"op": "remove", "path": "/userPreferences"}])") << "userPreferences: missing";
        QTest::newRow("user preferences null")
            << QByteArray(R"([{"op": "replace", "path": "/userPreferences", "value": null}])")
            << "userPreferences: missing (null)";
        QTest::newRow("a goal that is not text")
            << QByteArray(R"([{"op": "replace", "path": "/userPreferences/goalPreferences/goals/0", "value": 1}])")
            << "userPreferences.goalPreferences.goals[0]: expected string, got number";
        QTest::newRow("language list is an object")
            << QByteArray(
                   R"([{"op": "replace", "path": "/globalLanguageSpecification/languageSpecifications", "value": {}}])")
            << "globalLanguageSpecification.languageSpecifications: expected array, got object";
        QTest::newRow("top-level default of the wrong type")
            << QByteArray(R"([{"op": "replace", "path": "/defaultFeedbackLanguage", "value": false}])")
            << "defaultFeedbackLanguage: expected string, got boolean";
        QTest::newRow("feedback language of the wrong type") << QByteArray(
            R"([{"op": "replace", "path": "/userPreferences/languagePreferences/feedbackLanguage", "value": []}])")
                                                             << "userPreferences.languagePreferences.feedbackLanguage: "
                                                                "expected string, got array";
    }

    void failuresFailTheWholeAnswer()
    {
        QFETCH(QByteArray, patch);
        QFETCH(QString, error);
        try {
            decodeJson<GetPreferencesResponse>(patchedAnswer(patch));
            QFAIL("the answer decoded");
        } catch (const JsonDecodeError &failure) {
            QCOMPARE(QString::fromUtf8(failure.what()), error);
        }
    }

    void catalogueEntriesCompareAndHashByBothFields()
    {
        const AvailableGoal goal{QStringLiteral("GOAL_PACE"), QStringLiteral("Keep a steady pace")};
        const AvailableGoal renamed{QStringLiteral("GOAL_PACE"), QStringLiteral("Pace")};
        QVERIFY(goal == AvailableGoal(goal));
        QVERIFY(!(goal == renamed));
        QCOMPARE(QSet<AvailableGoal>({goal, renamed, goal}).size(), 2);
        QCOMPARE(std::unordered_set<AvailableGoal>({goal, renamed, goal}).size(), std::size_t(2));

        const LanguageSpecification english{QStringLiteral("en"), QStringLiteral("English")};
        const LanguageSpecification british{QStringLiteral("en"), QStringLiteral("British English")};
        QVERIFY(!(english == british));
        QCOMPARE(QSet<LanguageSpecification>({english, british, english}).size(), 2);
        QCOMPARE(qHash(english), qHash(LanguageSpecification(english)));
    }
};

QTEST_GUILESS_MAIN(ApiPreferencesTest)
#include "tst_apipreferences.moc"
