#include "backend/records/ApiPreferences.h"

namespace brelta::backend::ApiPreferences {

using platform::JsonReader;

LanguagePreferences LanguagePreferences::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<QString>("feedbackLanguage")};
}

GoalPreferences GoalPreferences::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<std::vector<QString>>("goals")};
}

UserPreferences UserPreferences::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.optional<LanguagePreferences>("languagePreferences"),
            reader.optional<GoalPreferences>("goalPreferences")};
}

AvailableGoal AvailableGoal::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("goal"), reader.required<QString>("humanReadableGoalName")};
}

GlobalGoalSpecifications GlobalGoalSpecifications::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<std::vector<AvailableGoal>>("availableGoals")};
}

LanguageSpecification LanguageSpecification::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("language"), reader.required<QString>("nameInEnglish")};
}

GlobalLanguageSpecifications GlobalLanguageSpecifications::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<std::vector<LanguageSpecification>>("languageSpecifications"),
            reader.required<std::vector<QString>>("availableFeebackLanguages"),
            reader.required<QString>("defaultFeedbackLanguage")};
}

GetPreferencesResponse GetPreferencesResponse::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<UserPreferences>("userPreferences"),
            reader.required<GlobalGoalSpecifications>("globalGoalSpecification"),
            reader.required<GlobalLanguageSpecifications>("globalLanguageSpecification"),
            reader.optional<QString>("defaultFeedbackLanguage")};
}

} // namespace brelta::backend::ApiPreferences
