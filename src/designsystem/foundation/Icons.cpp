#include "designsystem/foundation/Icons.h"

#include "designsystem/foundation/ResourceBundle.h"
#include "designsystem/foundation/SizeCases.h"

#include <QCache>
#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <iterator>

Q_LOGGING_CATEGORY(lcIcons, "brelta.designsystem.Icons")

namespace brelta::designsystem {

namespace {

// Indexed by IconName: the list generates the enum cases in the same order.
constexpr const char *rawValues[] = {
#define BRELTA_ICON_RAW_VALUE(name, raw) raw,
    BRELTA_DESIGNSYSTEM_ICONS(BRELTA_ICON_RAW_VALUE)
#undef BRELTA_ICON_RAW_VALUE
};
static_assert(std::size(rawValues) == Icons::all().size());

QByteArray tintedSvg(IconName name, const QColor &color)
{
    QFile file(Icons::svgPath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcIcons) << "the kit has no icon" << Icons::rawValue(name) << file.errorString();
        return {};
    }
    // Qt SVG has no inherited `color` property to feed currentColor, so the colour is written in.
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    return svg;
}

QImage render(IconName name, int side, const QColor &color, qreal devicePixelRatio)
{
    const int pixels = int(std::lround(side * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    QSvgRenderer renderer(tintedSvg(name, color));
    if (!renderer.isValid())
        return image;
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(color.alphaF());
    renderer.render(&painter, QRectF(0, 0, side, side));
    return image;
}

} // namespace

QString Icons::rawValue(IconName name)
{
    const auto index = std::size_t(name);
    Q_ASSERT(index < std::size(rawValues));
    return QLatin1String(rawValues[index]);
}

std::optional<IconName> Icons::fromRawValue(QStringView rawValue)
{
    for (IconName name : all()) {
        if (rawValue == QLatin1String(rawValues[std::size_t(name)]))
            return name;
    }
    return std::nullopt;
}

std::optional<IconSize> Icons::sizeFromPoints(double points)
{
    return sizeCaseFromPoints(points, {IconSize::Large, IconSize::Medium, IconSize::Small, IconSize::Tiny});
}

QString Icons::svgPath(IconName name)
{
    return ResourceBundle::path() + QStringLiteral("/icons/") + rawValue(name) + QStringLiteral(".svg");
}

QImage Icons::image(IconName name, int side, const QColor &color, qreal devicePixelRatio)
{
    static QMutex mutex;
    static QCache<QString, QImage> cache(4 * 1024 * 1024); // cost = bytes
    const QString key =
        QStringLiteral("%1|%2|%3|%4").arg(int(name)).arg(side).arg(color.rgba(), 0, 16).arg(devicePixelRatio);
    QMutexLocker lock(&mutex);
    if (const QImage *cached = cache.object(key))
        return *cached;
    QImage rendered = render(name, side, color, devicePixelRatio);
    cache.insert(key, new QImage(rendered), int(rendered.sizeInBytes()));
    return rendered;
}

} // namespace brelta::designsystem
