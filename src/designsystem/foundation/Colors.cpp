#include "designsystem/foundation/Colors.h"

#include "designsystem/foundation/ResourceBundle.h"

#include <QFile>
#include <QHash>
#include <QLoggingCategory>

#include <algorithm>
#include <cctype>
#include <cmath>

Q_LOGGING_CATEGORY(lcColors, "brelta.designsystem.Colors")

namespace brelta::designsystem {

QHash<QString, QColor> Colors::readPalette(const QString &path)
{
    QHash<QString, QColor> colors;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcColors) << "cannot read" << path << file.errorString();
        return colors;
    }
    int lineNumber = 0;
    bool headerSeen = false;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!headerSeen) {
            headerSeen = true;
            continue;
        }
        const QStringList fields = line.split(QLatin1Char(','));
        const auto color = fields.size() >= 2 ? parseHex(fields.at(1)) : std::nullopt;
        if (!color) {
            qCWarning(lcColors).nospace().noquote() << path << ":" << lineNumber << ": not a colour row: " << line;
            continue;
        }
        colors.insert(fields.at(0).trimmed(), *color);
    }
    return colors;
}

namespace {

using Palette = std::array<QColor, allColorTokens.size()>;

Palette loadPalette()
{
    const QHash<QString, QColor> colors = Colors::readPalette(ResourceBundle::path() + QStringLiteral("/palette.csv"));
    Palette palette;
    for (std::size_t i = 0; i < allColorTokens.size(); ++i) {
        const QString name = Colors::assetName(allColorTokens[i]);
        palette[i] = colors.value(name, Colors::fallback());
        if (!colors.contains(name))
            qCWarning(lcColors) << "the kit palette has no colour named" << name;
    }
    return palette;
}

double linearise(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

} // namespace

QString Colors::assetName(ColorToken token)
{
    switch (token) {
    case ColorToken::Gray100:
        return QStringLiteral("Gray100");
    case ColorToken::Gray200:
        return QStringLiteral("Gray200");
    case ColorToken::Gray400:
        return QStringLiteral("Gray400");
    case ColorToken::Gray600:
        return QStringLiteral("Gray600");
    case ColorToken::Gray800:
        return QStringLiteral("Gray800");
    case ColorToken::Gray1000:
        return QStringLiteral("Gray1000");
    case ColorToken::Info:
        return QStringLiteral("Info");
    case ColorToken::Info40:
        return QStringLiteral("Info40");
    case ColorToken::Warning:
        return QStringLiteral("Warning");
    case ColorToken::Warning40:
        return QStringLiteral("Warning40");
    case ColorToken::Warning10:
        return QStringLiteral("Warning10");
    case ColorToken::Positive:
        return QStringLiteral("Positive");
    case ColorToken::Positive40:
        return QStringLiteral("Positive40");
    case ColorToken::Positive10:
        return QStringLiteral("Positive10");
    case ColorToken::Negative:
        return QStringLiteral("Negative");
    case ColorToken::Negative40:
        return QStringLiteral("Negative40");
    case ColorToken::Negative10:
        return QStringLiteral("Negative10");
    case ColorToken::BrandPink:
        return QStringLiteral("BrandPink");
    case ColorToken::BrandDarkPurple:
        return QStringLiteral("BrandDarkPurple");
    case ColorToken::BrandPurple:
        return QStringLiteral("BrandPurple");
    case ColorToken::Overlay10:
        return QStringLiteral("Overlay10");
    case ColorToken::Overlay20:
        return QStringLiteral("Overlay20");
    case ColorToken::Overlay40:
        return QStringLiteral("Overlay40");
    case ColorToken::Overlay60:
        return QStringLiteral("Overlay60");
    }
    Q_UNREACHABLE();
}

QColor Colors::color(ColorToken token)
{
    static const Palette palette = loadPalette();
    return palette[static_cast<std::size_t>(token)];
}

namespace {

// The one reader of hex colour digits (no '#'): 3, 4, 6 or 8 of them, nothing else. Each digit of the
// short forms stands for a doubled pair (F = FF), the alpha comes last.
std::optional<QColor> readHexDigits(QStringView digits)
{
    const bool allHex = std::all_of(digits.begin(), digits.end(),
                                    [](QChar c) { return c.unicode() < 128 && std::isxdigit(c.unicode()); });
    if (!allHex)
        return std::nullopt;
    const uint value = digits.toUInt(nullptr, 16);
    switch (digits.size()) {
    case 3:
        return QColor::fromRgb(((value >> 8) & 0xf) * 17, ((value >> 4) & 0xf) * 17, (value & 0xf) * 17);
    case 4:
        return QColor::fromRgb(((value >> 12) & 0xf) * 17, ((value >> 8) & 0xf) * 17, ((value >> 4) & 0xf) * 17,
                               (value & 0xf) * 17);
    case 6:
        return QColor::fromRgb((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
    case 8:
        return QColor::fromRgb((value >> 24) & 0xff, (value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<QColor> Colors::parseHex(QStringView text)
{
    // The palette keeps the long forms only.
    text = text.trimmed();
    if (!text.startsWith(QLatin1Char('#')) || (text.size() != 7 && text.size() != 9))
        return std::nullopt;
    return readHexDigits(text.mid(1));
}

QColor Colors::fromHex(QStringView text)
{
    if (text.startsWith(QLatin1Char('#')))
        text = text.mid(1);
    return readHexDigits(text).value_or(fallback());
}

namespace contrast {

double relativeLuminance(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * linearise(rgb.redF()) + 0.7152 * linearise(rgb.greenF()) + 0.0722 * linearise(rgb.blueF());
}

double ratio(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor composite(const QColor &top, const QColor &bottom, double opacity)
{
    const double alpha = top.alphaF() * opacity;
    auto blend = [alpha](double over, double under) { return alpha * over + (1.0 - alpha) * under; };
    return QColor::fromRgbF(float(blend(top.redF(), bottom.redF())), float(blend(top.greenF(), bottom.greenF())),
                            float(blend(top.blueF(), bottom.blueF())));
}

} // namespace contrast

} // namespace brelta::designsystem
