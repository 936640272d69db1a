#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdlib>

// Pixels of the kit's widgets as they draw themselves, on a transparent ground so that only what a
// widget paints has any alpha.
namespace rendering {

inline QImage render(QWidget *widget, qreal ratio = 1.0)
{
    QImage image((QSizeF(widget->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The colour at (x, y), un-premultiplied.
inline QColor at(const QImage &image, int x, int y)
{
    return QColor::fromRgba(image.convertToFormat(QImage::Format_ARGB32).pixel(x, y));
}

inline bool near(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline QString describe(const QColor &c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

// The bounding box of the pixels where `image` differs from `reference` by more than `tolerance` in
// some channel and that pass `keep` (given the un-premultiplied colour in `image`).
template<typename Keep>
QRect differenceBox(const QImage &image, const QImage &reference, Keep keep, int tolerance = 24)
{
    const QImage a = image.convertToFormat(QImage::Format_ARGB32);
    const QImage b = reference.convertToFormat(QImage::Format_ARGB32);
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const bool differs = std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance
                                 || std::abs(qBlue(p) - qBlue(q)) > tolerance
                                 || std::abs(qAlpha(p) - qAlpha(q)) > tolerance;
            if (differs && keep(QColor::fromRgba(p)))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace rendering
