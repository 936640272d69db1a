#pragma once

#include <QColor>
#include <QHash>
#include <QString>

#include <array>
#include <optional>

namespace brelta::designsystem {

// The kit's named colours. Every component and screen refers to a colour by token; the values live in
// the bundle's palette.csv.
enum class ColorToken {
    Gray100,
    Gray200,
    Gray400,
    Gray600,
    Gray800,
    Gray1000,
    Info,
    Info40,
    Warning,
    Warning40,
    Warning10,
    Positive,
    Positive40,
    Positive10,
    Negative,
    Negative40,
    Negative10,
    BrandPink,
    BrandDarkPurple,
    BrandPurple,
    Overlay10,
    Overlay20,
    Overlay40,
    Overlay60,
};

inline constexpr std::array allColorTokens = {
    ColorToken::Gray100,
    ColorToken::Gray200,
    ColorToken::Gray400,
    ColorToken::Gray600,
    ColorToken::Gray800,
    ColorToken::Gray1000,
    ColorToken::Info,
    ColorToken::Info40,
    ColorToken::Warning,
    ColorToken::Warning40,
    ColorToken::Warning10,
    ColorToken::Positive,
    ColorToken::Positive40,
    ColorToken::Positive10,
    ColorToken::Negative,
    ColorToken::Negative40,
    ColorToken::Negative10,
    ColorToken::BrandPink,
    ColorToken::BrandDarkPurple,
    ColorToken::BrandPurple,
    ColorToken::Overlay10,
    ColorToken::Overlay20,
    ColorToken::Overlay40,
    ColorToken::Overlay60,
};

class Colors
{
public:
    // The name under which the palette lists the token ("Gray100", "BrandDarkPurple", …).
    static QString assetName(ColorToken token);

    // The token's colour, read from the kit bundle on first use and then kept. A name the palette lacks
    // draws as fallback() (fully transparent) and logs a warning once.
    static QColor color(ColorToken token);
    static QColor fallback() { return QColor(0, 0, 0, 0); }

    // "#RRGGBB" or "#RRGGBBAA" with the alpha last (QColor reads 8 digits as ARGB).
    static std::optional<QColor> parseHex(QStringView text);
    // A colour from hexadecimal text that never fails: an optional leading '#', then 3 (RGB), 4 (RGBA),
    // 6 (RRGGBB) or 8 (RRGGBBAA) hex digits. Any other length, or any character that is not a hex
    // digit, gives fallback() (transparent black), so a half-read text never passes for a colour.
    static QColor fromHex(QStringView text);

    // The name → colour rows of a palette file (comment lines start with '#', the first other line is
    // the header). A row that does not parse is reported with its line number and skipped; the rest load.
    static QHash<QString, QColor> readPalette(const QString &path);

    static QColor gray100() { return color(ColorToken::Gray100); }
    static QColor gray200() { return color(ColorToken::Gray200); }
    static QColor gray400() { return color(ColorToken::Gray400); }
    static QColor gray600() { return color(ColorToken::Gray600); }
    static QColor gray800() { return color(ColorToken::Gray800); }
    static QColor gray1000() { return color(ColorToken::Gray1000); }
    static QColor info() { return color(ColorToken::Info); }
    static QColor info40() { return color(ColorToken::Info40); }
    static QColor warning() { return color(ColorToken::Warning); }
    static QColor warning40() { return color(ColorToken::Warning40); }
    static QColor warning10() { return color(ColorToken::Warning10); }
    static QColor positive() { return color(ColorToken::Positive); }
    static QColor positive40() { return color(ColorToken::Positive40); }
    static QColor positive10() { return color(ColorToken::Positive10); }
    static QColor negative() { return color(ColorToken::Negative); }
    static QColor negative40() { return color(ColorToken::Negative40); }
    static QColor negative10() { return color(ColorToken::Negative10); }
    static QColor brandPink() { return color(ColorToken::BrandPink); }
    static QColor brandDarkPurple() { return color(ColorToken::BrandDarkPurple); }
    static QColor brandPurple() { return color(ColorToken::BrandPurple); }
    static QColor overlay10() { return color(ColorToken::Overlay10); }
    static QColor overlay20() { return color(ColorToken::Overlay20); }
    static QColor overlay40() { return color(ColorToken::Overlay40); }
    static QColor overlay60() { return color(ColorToken::Overlay60); }
};

// WCAG 2.x arithmetic, used to keep the palette readable.
namespace contrast {
// Relative luminance of an opaque sRGB colour (alpha ignored).
double relativeLuminance(const QColor &color);
// (lighter + 0.05) / (darker + 0.05), between 1 and 21.
double ratio(const QColor &a, const QColor &b);
// `top` drawn at its own alpha times `opacity` over the opaque `bottom`, blended in sRGB like a painter does.
QColor composite(const QColor &top, const QColor &bottom, double opacity = 1.0);
} // namespace contrast

} // namespace brelta::designsystem
