#include "backend/records/ApiDto.h"

namespace brelta::backend::ApiDto {

QString sessionTypeRawValue(SessionType type)
{
    const std::string_view raw = platform::enumRawValue(type);
    return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
}

UploadAudioResponse UploadAudioResponse::fromJson(const platform::JsonReader &reader)
{
    reader.expectObject();
    return {reader.required<QString>("message")};
}

} // namespace brelta::backend::ApiDto
