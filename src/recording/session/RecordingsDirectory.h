#pragma once

#include "recording/recorders/RecordingPurpose.h"
#include "recording/upload/RecordingsFolder.h"

#include <QString>

namespace brelta::recording {

// The recordings folder at `path` (by default the one the upload queue watches), created with its parents
// when missing; returns its absolute path. Throws AudioRecorderError "cannot create the recordings folder"
// naming the path and why, for example a plain file that already has its name.
QString recordingsDirectory(const QString &path = RecordingsFolder::defaultPath());

// A new output file name: the purpose's raw value, "_", 32 lower-case hexadecimal digits and ".m4a", as
// RecordingsFolder::purposeOfRecordingName reads it back.
QString newRecordingFileName(RecordingPurpose purpose);

} // namespace brelta::recording
