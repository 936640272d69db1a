#include "designsystem/components/BrandToggle.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/Typography.h"

#include <QPainter>
#include <QRadialGradient>

#include <cmath>

using namespace std::chrono_literals;

namespace brelta::designsystem {

namespace {
constexpr int knobDiameter = 16;
constexpr int knobInset = 2;
// Between the title and the track when there is little room.
constexpr int titleSpacing = 8;

QFont titleFont()
{
    return Typography::bodyFont(BodySize::Small, BodyWeight::Regular);
}
} // namespace

BrandToggle::BrandToggle(const QString &title, bool on, QWidget *parent)
    : KitButton(parent)
    , m_knob(this, 150ms, QEasingCurve::InOutQuad, on ? 1 : 0)
{
    setCheckable(true);
    setChecked(on);
    setTitle(title);
}

void BrandToggle::setTitle(const QString &title)
{
    m_title = title;
    setAccessibleName(title);
    // With a title the switch spreads over the width it is offered; alone it is just the track.
    setSizePolicy(title.isEmpty() ? QSizePolicy::Fixed : QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

QSize BrandToggle::sizeHint() const
{
    if (m_title.isEmpty())
        return trackSize;
    const QSizeF text = kit::lineSize(m_title, titleFont());
    return QSize(int(std::ceil(text.width())) + titleSpacing + trackSize.width(),
                 std::max(trackSize.height(), int(std::ceil(text.height()))));
}

QSize BrandToggle::minimumSizeHint() const
{
    return m_title.isEmpty() ? trackSize : QSize(trackSize.width(), sizeHint().height());
}

QRect BrandToggle::trackRect() const
{
    const int y = (height() - trackSize.height()) / 2;
    const int x = layoutDirection() == Qt::RightToLeft ? 0 : width() - trackSize.width();
    return QRect(QPoint(x, y), trackSize);
}

void BrandToggle::nextCheckState()
{
    const bool coming = !isChecked();
    emit aboutToToggle(coming);
    setChecked(coming);
    // A press slides the knob; QAbstractButton skips checkStateSet() while it handles the click.
    m_knob.setTarget(isChecked() ? 1 : 0, true);
}

void BrandToggle::checkStateSet()
{
    m_knob.setTarget(isChecked() ? 1 : 0, false);
    update();
}

bool BrandToggle::hitButton(const QPoint &pos) const
{
    return trackRect().contains(pos);
}

void BrandToggle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect track = trackRect();
    if (!m_title.isEmpty()) {
        const bool rtl = layoutDirection() == Qt::RightToLeft;
        const QRectF area(rtl ? track.right() + 1 + titleSpacing : 0, 0, width() - track.width() - titleSpacing,
                          height());
        kit::drawLine(painter, area, m_title, titleFont(), Colors::gray100());
    }

    // The gradient fades in over the grey as the knob travels.
    const qreal on = m_knob.value();
    const qreal base = isEnabled() ? 1.0 : 0.4;
    const QPainterPath shape = kit::roundedRect(track, 100);
    painter.setOpacity(base * on);
    painter.fillPath(shape, Gradients::brand(track, layoutDirection()));
    painter.setOpacity(base * (1 - on));
    painter.fillPath(shape, Colors::gray400());
    painter.setOpacity(base);

    // The knob slides 16 px from the leading inset; its soft shadow stays inside the track.
    const qreal travel = trackSize.width() - knobDiameter - 2 * knobInset;
    const qreal offset = knobInset + travel * on;
    const qreal left =
        layoutDirection() == Qt::RightToLeft ? track.right() + 1 - offset - knobDiameter : track.left() + offset;
    const QRectF knob(left, track.top() + knobInset, knobDiameter, knobDiameter);
    painter.save();
    painter.setClipPath(shape);
    QRadialGradient shadow(knob.center(), knobDiameter / 2.0 + 6);
    const qreal edge = (knobDiameter / 2.0) / (knobDiameter / 2.0 + 6);
    shadow.setColorAt(0, QColor(0, 0, 0, 31));
    shadow.setColorAt(edge, QColor(0, 0, 0, 31));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(knob.center(), knobDiameter / 2.0 + 6, knobDiameter / 2.0 + 6);
    painter.restore();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Colors::gray100());
    painter.drawEllipse(knob);

    painter.setOpacity(1);
    if (hasKeyboardFocus())
        kit::drawFocusRing(painter, track, 100);
}

} // namespace brelta::designsystem
