#include "recording/upload/AudioUploadWorkItem.h"

#include "platform/WireTime.h"

namespace brelta::recording {

using platform::JsonReader;

namespace {

std::optional<QMap<QString, QString>> readSourceParams(const JsonReader &item)
{
    const std::optional<JsonReader> member = item.optionalField("sourceParams");
    if (!member)
        return std::nullopt;
    member->expectObject();
    QMap<QString, QString> params;
    for (const auto &[key, value] : member->value().items())
        params.insert(QString::fromStdString(key), JsonReader(value, member->path() + '.' + key).as<QString>());
    return params;
}

} // namespace

AudioUploadWorkItem AudioUploadWorkItem::fromJson(const JsonReader &reader)
{
    reader.expectObject();
    AudioUploadWorkItem item;
    item.fileUrl = reader.required<QString>("fileUrl");
    item.recordingStartDate = reader.required<QString>("recordingStartDate");
    item.recordingEndDate = reader.required<QString>("recordingEndDate");
    item.recordingDurationSeconds = reader.required<qint64>("recordingDurationSeconds");
    item.recordingPurpose = reader.required<RecordingPurpose>("recordingPurpose");
    item.sourceParams = readSourceParams(reader);
    item.username = reader.optional<QString>("username");
    item.isSent = reader.optional<bool>("isSent");
    return item;
}

nlohmann::ordered_json AudioUploadWorkItem::toJson() const
{
    platform::JsonObjectWriter writer;
    writer.add("fileUrl", fileUrl)
        .add("recordingStartDate", recordingStartDate)
        .add("recordingEndDate", recordingEndDate)
        .add("recordingDurationSeconds", recordingDurationSeconds)
        .add("recordingPurpose", recordingPurpose);
    if (sourceParams) {
        nlohmann::ordered_json params = nlohmann::ordered_json::object();
        for (auto it = sourceParams->cbegin(); it != sourceParams->cend(); ++it)
            params[it.key().toStdString()] = it.value().toStdString();
        writer.add("sourceParams", params);
    }
    writer.addOptional("username", username).addOptional("isSent", isSent);
    return writer.take();
}

QString workItemDate(const QDateTime &moment)
{
    return platform::wiretime::formatWithOffset(moment);
}

std::optional<QDateTime> readWorkItemDate(const QString &text)
{
    return platform::wiretime::parseWithOffset(text);
}

} // namespace brelta::recording
