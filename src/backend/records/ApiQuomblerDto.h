#pragma once

#include "platform/Json.h"

#include <QString>

#include <optional>
#include <vector>

// The user information of the REST gateway: the user's identity and the features switched on for them.
// Every key is required.
namespace brelta::backend::ApiQuomblerDto {

enum class Feature {
    Unspecified,
    Development,
    AssistantChat,
    // The only one that changes behaviour: the recording session's choice of recorder.
    UseExperimentAudioRecorder,
};

// The raw text of a feature, and the feature of a text (exact, case-sensitive; nothing for any other).
QString featureRawValue(Feature feature);
std::optional<Feature> featureFromRawValue(const QString &raw);

struct UserInfo
{
    // Carried, read by nothing.
    QString identityId;
    // In the backend's order. One text that names no known feature fails the whole answer: it is neither
    // skipped nor read as Unspecified.
    std::vector<Feature> enabledFeatures;

    static UserInfo fromJson(const platform::JsonReader &reader);
    bool hasFeature(Feature feature) const;
};

struct GetUserInfoResponse
{
    UserInfo userInfo;

    static GetUserInfoResponse fromJson(const platform::JsonReader &reader);
};

} // namespace brelta::backend::ApiQuomblerDto

template<>
struct brelta::platform::JsonEnum<brelta::backend::ApiQuomblerDto::Feature>
{
    using Feature = brelta::backend::ApiQuomblerDto::Feature;
    static constexpr std::array values{
        std::pair{Feature::Unspecified, std::string_view("FEATURE_UNSPECIFIED")},
        std::pair{Feature::Development, std::string_view("FEATURE_DEVELOPMENT")},
        std::pair{Feature::AssistantChat, std::string_view("FEATURE_ASSISTANT_CHAT")},
        std::pair{Feature::UseExperimentAudioRecorder, std::string_view("FEATURE_USE_EXPERIMENT_AUDIO_RECORDER")},
    };
};
