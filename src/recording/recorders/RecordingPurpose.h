#pragma once

#include <QString>

#include <optional>

namespace brelta::recording {

// Why a recording is made. Stored and sent by its raw value; the raw value also starts the output file's name.
enum class RecordingPurpose { Practice, Onboarding };

// "practice" or "onboarding".
QString rawValue(RecordingPurpose purpose);
// The purpose with that raw value; none for any other text.
std::optional<RecordingPurpose> recordingPurposeFromRawValue(const QString &raw);

} // namespace brelta::recording
