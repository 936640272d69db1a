#include "designsystem/components/MediaPill.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/Typography.h"

#include <QPainter>

#include <cmath>

namespace brelta::designsystem {

namespace {
constexpr int padding = 16;
constexpr int spacing = 8;
constexpr int iconSide = 16;

QFont titleFont()
{
    return Typography::bodyFont(BodySize::Small, BodyWeight::Bold);
}
} // namespace

MediaPill::MediaPill(const QString &title, IconName icon, std::optional<QColor> backgroundColor, QWidget *parent)
    : KitButton(parent)
    , m_title(title)
    , m_icon(icon)
    , m_background(backgroundColor)
{
    setAccessibleName(title);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MediaPill::sizeHint() const
{
    const qreal text = kit::lineSize(m_title, titleFont()).width();
    return QSize(2 * padding + iconSide + spacing + int(std::ceil(text)), pillHeight);
}

void MediaPill::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(stateOpacity());
    const QRectF frame = rect();
    const QPainterPath pill = kit::roundedRect(frame, 100);
    if (m_background)
        painter.fillPath(pill, *m_background);
    else
        painter.fillPath(pill, Gradients::brand(frame, layoutDirection()));

    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const qreal ratio = devicePixelRatioF();
    const qreal iconX = rtl ? frame.width() - padding - iconSide : padding;
    const qreal iconY = std::round((frame.height() - iconSide) / 2 * ratio) / ratio;
    painter.drawImage(QPointF(iconX, iconY), Icons::image(m_icon, iconSide, Colors::gray100(), ratio));
    const QRectF textArea(rtl ? padding : padding + iconSide + spacing, 0,
                          frame.width() - 2 * padding - iconSide - spacing, frame.height());
    kit::drawLine(painter, textArea, m_title, titleFont(), Colors::gray100());

    if (hasKeyboardFocus())
        kit::drawFocusRing(painter, frame, 100);
}

} // namespace brelta::designsystem
