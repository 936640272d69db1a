#include "designsystem/foundation/Fonts.h"

#include "designsystem/foundation/ResourceBundle.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcFonts, "brelta.designsystem.Fonts")

namespace brelta::designsystem {

namespace {

struct FontFace
{
    QString family;
    QFont::Weight weight = QFont::Normal;
};

struct ShippedFont
{
    const char *postScriptName;
    const char *file; // inside the bundle's fonts/ folder
    QFont::Weight weight;
};

// "Inter" is the regular face of Inter, whose file calls itself "Inter-Regular".
constexpr ShippedFont shippedFonts[] = {
    {"Inter", "Inter-Regular.otf", QFont::Normal},
    {"Inter-Medium", "Inter-Medium.otf", QFont::Medium},
    {"Inter-Bold", "Inter-Bold.otf", QFont::Bold},
    {"AnekBangla-SemiBold", "AnekBangla-SemiBold.ttf", QFont::DemiBold},
};

QHash<QString, FontFace> registerShippedFonts()
{
    QHash<QString, FontFace> faces;
    for (const ShippedFont &shipped : shippedFonts) {
        const QString path = ResourceBundle::path() + QStringLiteral("/fonts/") + QLatin1String(shipped.file);
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) {
            qCWarning(lcFonts) << "cannot load the kit font" << path;
            continue;
        }
        faces.insert(QLatin1String(shipped.postScriptName), FontFace{families.first(), shipped.weight});
    }
    return faces;
}

} // namespace

std::optional<QFont> Fonts::font(const QString &postScriptName, int pixelSize)
{
    static const QHash<QString, FontFace> faces = registerShippedFonts();
    const auto face = faces.constFind(postScriptName);
    if (face == faces.constEnd())
        return std::nullopt;
    QFont font(face->family);
    font.setWeight(face->weight);
    font.setPixelSize(pixelSize);
    // Emoji and scripts the face lacks fall back through fontconfig (Noto Color Emoji for emoji).
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont Fonts::fontOrFallback(const QString &postScriptName, int pixelSize)
{
    if (auto found = font(postScriptName, pixelSize))
        return *found;
    qCWarning(lcFonts) << "no kit font named" << postScriptName << "- using the default font";
    QFont fallback = QGuiApplication::font();
    fallback.setPixelSize(pixelSize);
    return fallback;
}

} // namespace brelta::designsystem
