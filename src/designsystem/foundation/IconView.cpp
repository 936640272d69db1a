#include "designsystem/foundation/IconView.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/SizeCases.h"

#include <QFocusEvent>
#include <QPainter>

#include <cmath>

namespace brelta::designsystem {

namespace {
void drawIcon(QPainter &painter, const QRectF &square, IconName name, int side, const QColor &color, qreal ratio)
{
    const QImage image = Icons::image(name, side, color, ratio);
    // Snap to whole device pixels so the rendered pixels land 1:1 on the screen.
    const QPointF topLeft(std::round(square.center().x() * ratio - side * ratio / 2) / ratio,
                          std::round(square.center().y() * ratio - side * ratio / 2) / ratio);
    painter.drawImage(topLeft, image);
}
} // namespace

IconView::IconView(IconName name, IconSize size, QWidget *parent)
    : QWidget(parent)
    , m_name(name)
    , m_size(size)
    , m_color(Colors::gray100())
{
    setFixedSize(Icons::points(size), Icons::points(size));
    setAttribute(Qt::WA_TranslucentBackground);
}

void IconView::setIconName(IconName name)
{
    m_name = name;
    update();
}

void IconView::setColor(const QColor &color)
{
    m_color = color;
    update();
}

QSize IconView::sizeHint() const
{
    return QSize(Icons::points(m_size), Icons::points(m_size));
}

void IconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawIcon(painter, rect(), m_name, Icons::points(m_size), m_color, devicePixelRatioF());
}

std::optional<IconButton::Size> IconButton::sizeFromPoints(double points)
{
    return sizeCaseFromPoints(points, {Size::Large, Size::Medium});
}

IconButton::IconButton(IconName name, Size size, const QColor &fillColor, QWidget *parent)
    : QAbstractButton(parent)
    , m_name(name)
    , m_size(size)
    , m_fill(fillColor)
    , m_iconColor(Colors::gray100())
{
    setFixedSize(int(size), int(size));
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(Icons::rawValue(name));
}

void IconButton::setFillColor(const QColor &color)
{
    m_fill = color;
    update();
}

void IconButton::setIconColor(const QColor &color)
{
    m_iconColor = color;
    update();
}

QSize IconButton::sizeHint() const
{
    return QSize(int(m_size), int(m_size));
}

bool IconButton::hitButton(const QPoint &pos) const
{
    const QPointF offset = QPointF(pos) - QRectF(rect()).center();
    const qreal radius = int(m_size) / 2.0;
    return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
}

void IconButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fill);
    const QRectF circle = QRectF(rect());
    painter.drawEllipse(circle);
    if (m_showFocus) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Colors::gray100(), 1.5));
        painter.drawEllipse(circle.adjusted(0.75, 0.75, -0.75, -0.75));
    }
    drawIcon(painter, circle, m_name, Icons::points(IconSize::Small), m_iconColor, devicePixelRatioF());
}

void IconButton::focusInEvent(QFocusEvent *event)
{
    // Only keyboard focus earns the ring; a click should not leave one behind.
    m_showFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
    QAbstractButton::focusInEvent(event);
}

void IconButton::focusOutEvent(QFocusEvent *event)
{
    m_showFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

} // namespace brelta::designsystem
