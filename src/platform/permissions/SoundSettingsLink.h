#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brelta::platform {

// The desktop's sound settings, where the user picks and unmutes the microphone: GNOME's sound panel,
// else PulseAudio's volume control, else whatever the desktop opens for "settings://".
struct SoundSettingsCommand
{
    QString program;
    QStringList arguments;
};

// The first of those found on PATH; none when no candidate is installed.
std::optional<SoundSettingsCommand> findSoundSettingsCommand();

// Starts it detached, with fixed arguments. False (with a logged warning) when none is found or it does not start.
bool openSoundSettings();

} // namespace brelta::platform
