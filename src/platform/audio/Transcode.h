#pragma once

#include "platform/audio/AacFileWriter.h"

#include <QString>

namespace brelta::platform {

// Decodes the audio of `source` (any file AudioFileReader reads) and writes it to `target` as AAC in an
// MPEG-4 file with `encoding`, through AacFileWriter, which converts rate and channels. A file at `target`
// is replaced. Returns the seconds of audio written.
//
// Runs for as long as the encoding takes: call it off the main thread. Throws AudioFileError (naming the
// file at fault) and then leaves no partial output at `target`. `source` is only ever read.
double transcodeToAac(const QString &source, const QString &target, const AacEncoding &encoding);

} // namespace brelta::platform
