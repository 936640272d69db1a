#pragma once

#include "platform/Json.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

// The recording upload: what one upload sends and what the upload receiver answers.
namespace brelta::backend::ApiDto {

// What kind of recording an upload carries; travels as its raw text.
enum class SessionType {
    Default,
    Onboarding,
};

// "default" or "onboarding".
QString sessionTypeRawValue(SessionType type);

// The description of one upload, sent beside the file. Not stored, not read from JSON.
struct UploadAudioParams
{
    QString username; // the user the recording is sent as (an e-mail address)
    QDateTime startTime;
    QDateTime endTime;
    SessionType sessionType = SessionType::Default;
    // Handed in when the recording was started, if any; an empty map is still sent (as "{}").
    std::optional<QMap<QString, QString>> sourceParams;
};

struct UploadAudioResponse
{
    QString message;

    static UploadAudioResponse fromJson(const platform::JsonReader &reader);
};

} // namespace brelta::backend::ApiDto

template<>
struct brelta::platform::JsonEnum<brelta::backend::ApiDto::SessionType>
{
    using SessionType = brelta::backend::ApiDto::SessionType;
    static constexpr std::array values{
        std::pair{SessionType::Default, std::string_view("default")},
        std::pair{SessionType::Onboarding, std::string_view("onboarding")},
    };
};
