#include "platform/desktop/DisplayPlatform.h"

#include <QtGlobal>

namespace brelta::platform::desktop {

QByteArray preferredQpaPlatform(const QByteArray &qtQpaPlatform, const QByteArray &waylandDisplay,
                                const QByteArray &display)
{
    if (!qtQpaPlatform.isEmpty())
        return {};
    if (!waylandDisplay.isEmpty() && !display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}

QByteArray applyPreferredQpaPlatform()
{
    const QByteArray chosen =
        preferredQpaPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!chosen.isEmpty())
        qputenv("QT_QPA_PLATFORM", chosen);
    return chosen;
}

} // namespace brelta::platform::desktop
