#include "screens/settings/GoalChip.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/Typography.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace brelta::screens {

using namespace designsystem;

namespace {
constexpr int kVerticalPadding = 8;
constexpr int kHorizontalPadding = 12;
constexpr qreal kDisabledOpacity = 0.5;

QFont chipFont()
{
    return Typography::bodyFont(BodySize::Small, BodyWeight::Regular);
}
} // namespace

GoalChip::GoalChip(const QString &title, Style style, QWidget *parent)
    : KitButton(parent)
    , m_title(title)
    , m_style(style)
{
    setAccessibleName(title);
    setCheckable(false);
    setCursor(Qt::PointingHandCursor);
    // Settings flows its chips at their natural width; onboarding lays them out in even columns.
    setSizePolicy(style == Style::Settings ? QSizePolicy::Fixed : QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(title);
}

void GoalChip::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

QSize GoalChip::sizeHint() const
{
    const QFontMetrics metrics(chipFont());
    return QSize(metrics.horizontalAdvance(m_title) + 2 * kHorizontalPadding, metrics.height() + 2 * kVerticalPadding);
}

QSize GoalChip::minimumSizeHint() const
{
    if (m_style == Style::Settings)
        return sizeHint();
    return QSize(2 * kHorizontalPadding, sizeHint().height());
}

void GoalChip::changeEvent(QEvent *event)
{
    KitButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void GoalChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : kDisabledOpacity);
    QPainterPath capsule;
    const qreal radius = height() / 2.0;
    capsule.addRoundedRect(QRectF(rect()), radius, radius);
    if (m_selected)
        painter.fillPath(capsule, Gradients::brand(QRectF(rect()), layoutDirection()));
    else
        painter.fillPath(capsule, m_style == Style::Settings ? Colors::overlay40() : Colors::overlay20());
    if (hasKeyboardFocus()) {
        painter.setPen(QPen(Colors::gray100(), 1));
        painter.drawPath(capsule);
    }
    painter.setFont(chipFont());
    painter.setPen(Colors::gray100());
    const QRect textArea = rect().adjusted(kHorizontalPadding, 0, -kHorizontalPadding, 0);
    const QString shown = QFontMetrics(chipFont()).elidedText(m_title, Qt::ElideRight, textArea.width());
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, shown);
}

} // namespace brelta::screens
