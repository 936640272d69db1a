#include "designsystem/foundation/Gradients.h"

namespace brelta::designsystem {

namespace {
QLinearGradient linear(const QPointF &start, const QPointF &end, const QGradientStops &stops)
{
    QLinearGradient gradient(start, end);
    gradient.setStops(stops);
    return gradient;
}
} // namespace

QGradientStops Gradients::backgroundColors()
{
    return {{0.0, QColor(71, 38, 92)}, {1.0, QColor(49, 55, 86)}};
}

QGradientStops Gradients::brandColors()
{
    return {{0.0, QColor(142, 69, 249)}, {1.0, QColor(165, 84, 246)}};
}

QLinearGradient Gradients::background(const QRectF &rect, Qt::LayoutDirection direction)
{
    if (direction == Qt::RightToLeft)
        return linear(rect.topRight(), rect.bottomLeft(), backgroundColors());
    return linear(rect.topLeft(), rect.bottomRight(), backgroundColors());
}

QLinearGradient Gradients::brand(const QRectF &rect, Qt::LayoutDirection direction)
{
    const qreal middle = rect.center().y();
    const QPointF left(rect.left(), middle);
    const QPointF right(rect.right(), middle);
    return direction == Qt::RightToLeft ? linear(right, left, brandColors()) : linear(left, right, brandColors());
}

} // namespace brelta::designsystem
