#pragma once

#include <QFont>
#include <QString>

namespace brelta::designsystem {

// The kit addresses its fonts by PostScript name ("Inter-Bold", "AnekBangla-SemiBold"). Qt selects fonts
// by family and weight, so this registers the bundle's font files once and maps each name the kit uses
// to the family the file declares and the weight the name stands for.
class Fonts
{
public:
    // The font of that PostScript name at `pixelSize` logical pixels; nullopt for a name the kit does not
    // ship. Registers the bundle's fonts on first use (needs a QGuiApplication).
    static std::optional<QFont> font(const QString &postScriptName, int pixelSize);

    // font(), or the application's default font at that size (with a warning) for an unknown name.
    static QFont fontOrFallback(const QString &postScriptName, int pixelSize);
};

} // namespace brelta::designsystem
