#pragma once

#include "platform/Json.h"
#include "recording/recorders/RecordingPurpose.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

namespace brelta::recording {

// One recording waiting in the upload queue, as stored (a JSON object under "audioUploadItems"). The keys
// are the field names. Every key but the optional ones is required; an element that lacks one, or has the
// wrong type for one, does not decode and is kept aside as it was.
struct AudioUploadWorkItem
{
    // The recording file as a "file" URL, fully encoded.
    QString fileUrl;
    // "yyyy-MM-dd'T'HH:mm:ssZ" with ASCII digits and a Gregorian date (platform::wiretime), so the text
    // reads back whatever the user's locale. Kept as text: a date that does not read is reported when the
    // item is processed, and the item stays.
    QString recordingStartDate;
    QString recordingEndDate;
    qint64 recordingDurationSeconds = 0;
    RecordingPurpose recordingPurpose = RecordingPurpose::Practice;
    std::optional<QMap<QString, QString>> sourceParams;
    // Who made the recording; it is sent under this user only. Absent in items stored before owners were
    // kept, and when nobody was signed in: the first signed-in user who processes the item adopts it.
    std::optional<QString> username;
    // The backend has the recording, only its file could not be deleted yet: later passes retry the
    // deletion and never send it again.
    std::optional<bool> isSent;

    bool hasOwner() const { return username && !username->isEmpty(); }

    static AudioUploadWorkItem fromJson(const platform::JsonReader &reader);
    nlohmann::ordered_json toJson() const;
};

// The stored date text of a moment, and back. Nothing when the text does not read.
QString workItemDate(const QDateTime &moment);
std::optional<QDateTime> readWorkItemDate(const QString &text);

} // namespace brelta::recording

template<>
struct brelta::platform::JsonEnum<brelta::recording::RecordingPurpose>
{
    using RecordingPurpose = brelta::recording::RecordingPurpose;
    static constexpr std::array values{
        std::pair{RecordingPurpose::Practice, std::string_view("practice")},
        std::pair{RecordingPurpose::Onboarding, std::string_view("onboarding")},
    };
};
