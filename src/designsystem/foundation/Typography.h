#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace brelta::designsystem {

// Sizes are logical pixels (one point of the kit's design = one device-independent pixel).
enum class HeadingSize { H1 = 32, H2 = 24, H3 = 18 };
enum class BodySize { Large = 16, Medium = 14, Small = 12, Tiny = 10 };
enum class BodyWeight { Regular, Medium, Bold };
enum class TypographyType { Heading, Body };

class Typography
{
public:
    static constexpr auto headingFontName = "AnekBangla-SemiBold";

    // Extra space after each character, and between lines when drawn.
    static constexpr qreal headingTracking = 0.4;
    static constexpr qreal bodyTracking = 0.35;
    static constexpr qreal drawnLineSpacing = 1.0;
    // Measuring leaves more room between lines than drawing takes, so a box sized by measureText()
    // never clips the text it was measured for.
    static constexpr qreal measuredHeadingLineSpacing = 1.2;
    static constexpr qreal measuredBodyLineSpacing = 1.4;

    static std::optional<HeadingSize> headingSizeFromPoints(double points);
    static std::optional<BodySize> bodySizeFromPoints(double points);
    static int points(HeadingSize size) { return static_cast<int>(size); }
    static int points(BodySize size) { return static_cast<int>(size); }

    // PostScript name of the weight's font: "Inter", "Inter-Medium", "Inter-Bold".
    static QString fontName(BodyWeight weight);

    // The fonts the two text views draw with, tracking included.
    static QFont headingFont(HeadingSize size);
    static QFont bodyFont(BodySize size, BodyWeight weight);

    // The bounding rectangle of `text` set in the named font at the body size's pixel size, wrapped at
    // `width`, with the type's measuring line spacing and tracking. Lines that would start below `height`
    // are left out (the first line always counts). An unknown font name measures with the default font.
    static QRectF measureText(TypographyType type, const QString &text, const QString &fontName, BodySize size,
                              qreal width, qreal height);
};

} // namespace brelta::designsystem
