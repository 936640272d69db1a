#include "calendar/panel/Surface.h"

#include "designsystem/components/KitPainting.h"

#include <QPainter>

namespace brelta::calendar {

Surface::Surface(const QColor &color, qreal radius, QWidget *parent) : QWidget(parent), m_color(color), m_radius(radius)
{}

void Surface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(designsystem::kit::roundedRect(QRectF(rect()), m_radius), m_color);
}

} // namespace brelta::calendar
