#pragma once

#include "platform/Json.h"

#include <QString>

#include <vector>

// Generated coaching tips. Every key is required.
namespace brelta::backend::ApiTips {

struct CoachingTip
{
    // The tip as shown to the user.
    QString tipText;

    static CoachingTip fromJson(const platform::JsonReader &reader);
};

struct GetCoachingTipsResponse
{
    // May be empty; then there is no tip to show.
    std::vector<CoachingTip> generatedCoachingTips;

    static GetCoachingTipsResponse fromJson(const platform::JsonReader &reader);
};

} // namespace brelta::backend::ApiTips
