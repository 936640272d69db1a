#include "devserver/GatewayService.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace brelta::devserver {
namespace {

struct Goal
{
    std::string_view id;
    std::string_view name;
};

struct Language
{
    std::string_view code;
    std::string_view nameInEnglish;
    bool offeredForFeedback;
};

constexpr std::array goals{
    Goal{"GOAL_SPEAK_CONCISELY", "Speak concisely"},
    Goal{"GOAL_REDUCE_FILLER_WORDS", "Use fewer filler words"},
    Goal{"GOAL_LISTEN_ACTIVELY", "Listen actively"},
    Goal{"GOAL_ASK_OPEN_QUESTIONS", "Ask open questions"},
    Goal{"GOAL_SPEAK_AT_A_STEADY_PACE", "Speak at a steady pace"},
};

constexpr std::array languages{
    Language{"en", "English", true}, Language{"de", "German", true},   Language{"fr", "French", true},
    Language{"es", "Spanish", true}, Language{"it", "Italian", false},
};

constexpr std::string_view defaultLanguage = "en";

constexpr std::array tips{
    "Pause for a second before you answer a hard question.",
    "Ask one open question early in the meeting.",
    "Summarise what you heard before you reply.",
    "Keep your first sentence short and put the point in it.",
    "Let the silence after a question work for you.",
};

constexpr int maxTipsPerRequest = 10;

bool isKnownGoal(const std::string &id)
{
    return std::any_of(goals.begin(), goals.end(), [&](const Goal &goal) { return goal.id == id; });
}

bool isFeedbackLanguage(const std::string &code)
{
    return std::any_of(languages.begin(), languages.end(),
                       [&](const Language &language) { return language.offeredForFeedback && language.code == code; });
}

Json catalogue()
{
    Json availableGoals = Json::array();
    for (const Goal &goal : goals)
        availableGoals.push_back(Json{{"goal", goal.id}, {"humanReadableGoalName", goal.name}});

    Json specifications = Json::array();
    Json feedbackLanguages = Json::array();
    for (const Language &language : languages) {
        specifications.push_back(Json{{"language", language.code}, {"nameInEnglish", language.nameInEnglish}});
        if (language.offeredForFeedback)
            feedbackLanguages.push_back(language.code);
    }
    return Json{{"globalGoalSpecification", Json{{"availableGoals", availableGoals}}},
                {"globalLanguageSpecification", Json{{"languageSpecifications", specifications},
                                                     {"availableFeebackLanguages", feedbackLanguages},
                                                     {"defaultFeedbackLanguage", defaultLanguage}}},
                {"defaultFeedbackLanguage", defaultLanguage}};
}

} // namespace

void GatewayService::install(RouteTable &routes)
{
    using Method = QHttpServerRequest::Method;
    // Every gateway call needs a signed-in user; the JSON ones also an object body.
    auto signedIn = [this](auto handler) {
        return [this, handler](const QHttpServerRequest &request) {
            const auto user = m_auth.authenticate(request);
            return user ? handler(*user, request) : AuthService::unauthorized();
        };
    };
    auto withObject = [](auto handler) {
        return [handler](const User &user, const QHttpServerRequest &request) {
            const auto body = jsonObjectBody(request);
            return body ? handler(user, *body) : errorResponse(400, QStringLiteral("expected a JSON object body"));
        };
    };

    routes.add(userInfoPath, Method::Post,
               signedIn(withObject([this](const User &u, const nlohmann::json &b) { return userInfo(u, b); })));
    routes.add(coachingTipsPath, Method::Post,
               signedIn(withObject([this](const User &, const nlohmann::json &b) { return coachingTips(b); })));
    routes.add(preferencesPath, Method::Get,
               signedIn([this](const User &u, const QHttpServerRequest &) { return preferences(u); }));
    routes.add(goalsPath, Method::Put,
               signedIn(withObject([this](const User &u, const nlohmann::json &b) { return setGoals(u, b); })));
    routes.add(languagePath, Method::Put,
               signedIn(withObject([this](const User &u, const nlohmann::json &b) { return setLanguage(u, b); })));
}

QHttpServerResponse GatewayService::userInfo(const User &user, const nlohmann::json &)
{
    Json features = Json::array();
    for (const QString &feature : std::as_const(m_enabledFeatures))
        features.push_back(feature.toStdString());
    return jsonResponse(Json{{"userInfo", Json{{"identityId", user.id.toStdString()}, {"enabledFeatures", features}}}});
}

QHttpServerResponse GatewayService::coachingTips(const nlohmann::json &body)
{
    // The count travels as a decimal text, as 64-bit integers do in this API's JSON.
    const auto amount = body.find("amount");
    const auto count =
        amount != body.end() && amount->is_object() ? stringMember(*amount, "amount_to_generate") : std::nullopt;
    bool ok = false;
    const int wanted = count ? QString::fromStdString(*count).toInt(&ok) : 0;
    if (!ok || wanted < 1 || wanted > maxTipsPerRequest)
        return errorResponse(
            400,
            QStringLiteral("expected \"amount\": {\"amount_to_generate\": \"1\"} to \"%1\"").arg(maxTipsPerRequest));

    Json generated = Json::array();
    for (int i = 0; i < wanted; ++i) {
        generated.push_back(Json{{"tipText", tips[size_t(m_nextTip)]}});
        m_nextTip = (m_nextTip + 1) % int(tips.size());
    }
    return jsonResponse(Json{{"generatedCoachingTips", generated}});
}

QHttpServerResponse GatewayService::preferences(const User &user)
{
    const Choices choices = m_choicesByUserId.value(user.id);
    Json userPreferences = Json::object();
    if (choices.feedbackLanguage)
        userPreferences["languagePreferences"] = Json{{"feedbackLanguage", choices.feedbackLanguage->toStdString()}};
    if (choices.goals) {
        Json goalList = Json::array();
        for (const QString &goal : *choices.goals)
            goalList.push_back(goal.toStdString());
        userPreferences["goalPreferences"] = Json{{"goals", goalList}};
    }

    Json answer{{"userPreferences", userPreferences}};
    answer.update(catalogue());
    return jsonResponse(answer);
}

QHttpServerResponse GatewayService::setGoals(const User &user, const nlohmann::json &body)
{
    const auto list = body.find("goals");
    if (list == body.end() || !list->is_array())
        return errorResponse(400, QStringLiteral("expected \"goals\": an array of goal identifiers"));
    QStringList chosen;
    for (const auto &goal : *list) {
        if (!goal.is_string() || !isKnownGoal(goal.get<std::string>()))
            return errorResponse(400, QStringLiteral("unknown goal %1").arg(QString::fromStdString(goal.dump())));
        chosen.append(QString::fromStdString(goal.get<std::string>()));
    }
    m_choicesByUserId[user.id].goals = chosen;
    return jsonResponse(Json::object());
}

QHttpServerResponse GatewayService::setLanguage(const User &user, const nlohmann::json &body)
{
    const auto preferences = body.find("language_preferences");
    const auto language = preferences != body.end() && preferences->is_object()
                              ? stringMember(*preferences, "feedback_language")
                              : std::nullopt;
    if (!language)
        return errorResponse(400, QStringLiteral("expected \"language_preferences\": {\"feedback_language\": …}"));
    if (!isFeedbackLanguage(*language))
        return errorResponse(
            400, QStringLiteral("%1 is not offered as a feedback language").arg(QString::fromStdString(*language)));
    m_choicesByUserId[user.id].feedbackLanguage = QString::fromStdString(*language);
    return jsonResponse(Json::object());
}

} // namespace brelta::devserver
