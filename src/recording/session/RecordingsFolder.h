#pragma once

#include "recording/recorders/RecordingPurpose.h"

#include <QString>

namespace brelta::recording {

// Where recordings are written: the application's data folder with "brelta" appended. Not created here.
QString recordingsDirectoryPath();

// The folder at `path` (by default the one above), created with its parents when missing. Throws
// AudioRecorderError "cannot create the recordings folder" naming the path and why, for example a plain file
// that already has its name.
QString recordingsDirectory(const QString &path = recordingsDirectoryPath());

// A new output file name: the purpose's raw value, "_", 32 lower-case hexadecimal digits and ".m4a".
QString newRecordingFileName(RecordingPurpose purpose);

} // namespace brelta::recording
