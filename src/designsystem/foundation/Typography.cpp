#include "designsystem/foundation/Typography.h"

#include "designsystem/foundation/Fonts.h"
#include "designsystem/foundation/SizeCases.h"
#include "designsystem/foundation/TextLayout.h"

namespace brelta::designsystem {

namespace {
QFont withTracking(QFont font, qreal tracking)
{
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}
} // namespace

std::optional<HeadingSize> Typography::headingSizeFromPoints(double points)
{
    return sizeCaseFromPoints(points, {HeadingSize::H1, HeadingSize::H2, HeadingSize::H3});
}

std::optional<BodySize> Typography::bodySizeFromPoints(double points)
{
    return sizeCaseFromPoints(points, {BodySize::Large, BodySize::Medium, BodySize::Small, BodySize::Tiny});
}

QString Typography::fontName(BodyWeight weight)
{
    switch (weight) {
    case BodyWeight::Regular:
        return QStringLiteral("Inter");
    case BodyWeight::Medium:
        return QStringLiteral("Inter-Medium");
    case BodyWeight::Bold:
        return QStringLiteral("Inter-Bold");
    }
    Q_UNREACHABLE();
}

QFont Typography::headingFont(HeadingSize size)
{
    return withTracking(Fonts::fontOrFallback(QLatin1String(headingFontName), points(size)), headingTracking);
}

QFont Typography::bodyFont(BodySize size, BodyWeight weight)
{
    return withTracking(Fonts::fontOrFallback(fontName(weight), points(size)), bodyTracking);
}

QRectF Typography::measureText(TypographyType type, const QString &text, const QString &fontName, BodySize size,
                               qreal width, qreal height)
{
    const bool heading = type == TypographyType::Heading;
    const QFont font =
        withTracking(Fonts::fontOrFallback(fontName, points(size)), heading ? headingTracking : bodyTracking);
    const TextLayout layout(text, font, width, heading ? measuredHeadingLineSpacing : measuredBodyLineSpacing, height);
    return QRectF(QPointF(0, 0), layout.size());
}

} // namespace brelta::designsystem
