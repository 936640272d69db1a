#include "backend/records/ApiQuomblerDto.h"

#include <algorithm>

namespace brelta::backend::ApiQuomblerDto {

using platform::JsonReader;

QString featureRawValue(Feature feature)
{
    const std::string_view raw = platform::enumRawValue(feature);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

std::optional<Feature> featureFromRawValue(const QString &raw)
{
    return platform::enumFromRawValue<Feature>(raw.toStdString());
}

UserInfo UserInfo::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("identityId"), reader.required<std::vector<Feature>>("enabledFeatures")};
}

bool UserInfo::hasFeature(Feature feature) const
{
    return std::ranges::find(enabledFeatures, feature) != enabledFeatures.end();
}

GetUserInfoResponse GetUserInfoResponse::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<UserInfo>("userInfo")};
}

} // namespace brelta::backend::ApiQuomblerDto
