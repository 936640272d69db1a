#include "backend/records/ApiTips.h"

namespace brelta::backend::ApiTips {

using platform::JsonReader;

CoachingTip CoachingTip::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("tipText")};
}

GetCoachingTipsResponse GetCoachingTipsResponse::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<std::vector<CoachingTip>>("generatedCoachingTips")};
}

} // namespace brelta::backend::ApiTips
