#include "platform/permissions/SoundSettingsLink.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcSoundSettings, "brelta.platform.SoundSettingsLink")

namespace brelta::platform {

std::optional<SoundSettingsCommand> findSoundSettingsCommand()
{
    const SoundSettingsCommand candidates[] = {
        {QStringLiteral("gnome-control-center"), {QStringLiteral("sound")}},
        {QStringLiteral("pavucontrol"), {}},
        {QStringLiteral("xdg-open"), {QStringLiteral("settings://")}},
    };
    for (const SoundSettingsCommand &candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(candidate.program);
        if (!path.isEmpty())
            return SoundSettingsCommand{path, candidate.arguments};
    }
    return std::nullopt;
}

bool openSoundSettings()
{
    const std::optional<SoundSettingsCommand> command = findSoundSettingsCommand();
    if (!command) {
        qCWarning(lcSoundSettings) << "no sound settings program found (gnome-control-center, pavucontrol, xdg-open)";
        return false;
    }
    if (!QProcess::startDetached(command->program, command->arguments)) {
        qCWarning(lcSoundSettings).noquote() << "the sound settings could not be started:" << command->program;
        return false;
    }
    qCInfo(lcSoundSettings).noquote() << "opened the sound settings with" << command->program;
    return true;
}

} // namespace brelta::platform
