#pragma once

#include <QGradientStops>
#include <QLinearGradient>
#include <QRectF>

namespace brelta::designsystem {

// The kit's two gradients. "Leading" is the left edge in a left-to-right layout and the right edge in a
// right-to-left one, so pass the widget's layoutDirection().
class Gradients
{
public:
    // Dark background: rgb(71,38,92) at the top-leading corner to rgb(49,55,86) at the bottom-trailing one.
    static QLinearGradient background(const QRectF &rect, Qt::LayoutDirection direction = Qt::LeftToRight);
    static QGradientStops backgroundColors();

    // Brand purple: rgb(142,69,249) on the leading edge to rgb(165,84,246) on the trailing edge.
    static QLinearGradient brand(const QRectF &rect, Qt::LayoutDirection direction = Qt::LeftToRight);
    static QGradientStops brandColors();
};

} // namespace brelta::designsystem
