#pragma once

#include "platform/Json.h"

#include <QHashFunctions>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The user's coaching preferences and the backend's catalogue of goals and languages, as the
// preferences document returns them. Decoded only: the updates send bodies of their own.
//
// Nothing absent is given a default: a missing "goalPreferences", one without "goals" and an empty
// "goals" list are three different answers.
namespace brelta::backend::ApiPreferences {

struct LanguagePreferences
{
    // A language code matching a `language` of the catalogue.
    std::optional<QString> feedbackLanguage;

    static LanguagePreferences fromJson(const platform::JsonReader &reader);
};

struct GoalPreferences
{
    // Goal identifiers matching `goal` values of the catalogue.
    std::optional<std::vector<QString>> goals;

    static GoalPreferences fromJson(const platform::JsonReader &reader);
};

struct UserPreferences
{
    std::optional<LanguagePreferences> languagePreferences;
    std::optional<GoalPreferences> goalPreferences;

    static UserPreferences fromJson(const platform::JsonReader &reader);
};

struct AvailableGoal
{
    QString goal;
    QString humanReadableGoalName;

    static AvailableGoal fromJson(const platform::JsonReader &reader);
    bool operator==(const AvailableGoal &) const = default;
};

struct GlobalGoalSpecifications
{
    // In the backend's order.
    std::vector<AvailableGoal> availableGoals;

    static GlobalGoalSpecifications fromJson(const platform::JsonReader &reader);
};

struct LanguageSpecification
{
    QString language;
    // The label of the language menu.
    QString nameInEnglish;

    static LanguageSpecification fromJson(const platform::JsonReader &reader);
    bool operator==(const LanguageSpecification &) const = default;
};

struct GlobalLanguageSpecifications
{
    std::vector<LanguageSpecification> languageSpecifications;
    // The wire key is "availableFeebackLanguages" (sic): it must be matched exactly as the backend spells it.
    std::vector<QString> availableFeebackLanguages;
    // The language used when the user has chosen none.
    QString defaultFeedbackLanguage;

    static GlobalLanguageSpecifications fromJson(const platform::JsonReader &reader);
};

struct GetPreferencesResponse
{
    UserPreferences userPreferences;
    GlobalGoalSpecifications globalGoalSpecification;
    GlobalLanguageSpecifications globalLanguageSpecification;
    // Separate from globalLanguageSpecification.defaultFeedbackLanguage, which is the one screens use.
    std::optional<QString> defaultFeedbackLanguage;

    static GetPreferencesResponse fromJson(const platform::JsonReader &reader);
};

inline size_t qHash(const AvailableGoal &value, size_t seed = 0)
{
    return qHashMulti(seed, value.goal, value.humanReadableGoalName);
}

inline size_t qHash(const LanguageSpecification &value, size_t seed = 0)
{
    return qHashMulti(seed, value.language, value.nameInEnglish);
}

} // namespace brelta::backend::ApiPreferences

template<>
struct std::hash<brelta::backend::ApiPreferences::AvailableGoal>
{
    size_t operator()(const brelta::backend::ApiPreferences::AvailableGoal &value) const noexcept
    {
        return brelta::backend::ApiPreferences::qHash(value);
    }
};

template<>
struct std::hash<brelta::backend::ApiPreferences::LanguageSpecification>
{
    size_t operator()(const brelta::backend::ApiPreferences::LanguageSpecification &value) const noexcept
    {
        return brelta::backend::ApiPreferences::qHash(value);
    }
};
