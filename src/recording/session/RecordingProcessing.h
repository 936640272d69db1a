#pragma once

#include "recording/upload/RecordingHandOff.h"

#include <QString>

#include <exception>
#include <optional>

namespace brelta::recording {

// What became of a stopped recording, for the session's delegate and error report.
struct ProcessingOutcome
{
    bool queued = false;
    bool isTooShort = false;
    // Absent when the recording was queued; otherwise why it was not.
    std::optional<QString> errorMessage;
    // The failure to report; empty when the recording was queued.
    std::exception_ptr error;
};

// Checks a stopped recording and hands it on (`recording.durationSeconds` is filled in here):
// - accepted: handed to `handOff`, under the owner it carries; the file stays until its upload succeeds;
// - a practice recording under two seconds: the file is deleted; AppError RecordingTooShort;
// - a file whose length cannot be read: kept where it is (a recording cut off by a crash may still be sent
//   later) and reported as an AppError naming its URL;
// - no file: reported as "file not found: " with the path.
// A file that cannot be deleted, or a hand-off that throws, is reported and the file left in place. Never
// throws.
ProcessingOutcome processFinishedRecording(FinishedRecording recording, RecordingHandOff &handOff);

} // namespace brelta::recording
