#include "designsystem/components/PopupPanel.h"

#include "designsystem/components/KitAccessibility.h"
#include "designsystem/components/KitPainting.h"

#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace brelta::designsystem {

QRect PopupPanel::placement(const QRect &owner, QSize size, bool alignTrailing, Qt::LayoutDirection direction,
                            const QRect &screen)
{
    const bool alignRight = alignTrailing != (direction == Qt::RightToLeft);
    int x = alignRight ? owner.x() + owner.width() - size.width() : owner.x();
    int y = owner.y() + owner.height() + gap;
    if (y + size.height() > screen.y() + screen.height() && owner.y() - gap - size.height() >= screen.y())
        y = owner.y() - gap - size.height();
    x = std::clamp(x, screen.x(), std::max(screen.x(), screen.x() + screen.width() - size.width()));
    y = std::clamp(y, screen.y(), std::max(screen.y(), screen.y() + screen.height() - size.height()));
    return QRect(QPoint(x, y), size);
}

PopupPanel::PopupPanel(const QColor &background, std::chrono::milliseconds fade, QEasingCurve::Type easing,
                       QWidget *owner)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
    , m_background(background)
    , m_fade(this, fade, easing)
{
    installKitAccessibility();
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_fade, &Transition::valueChanged, this, [this](qreal value) { setWindowOpacity(value); });
}

void PopupPanel::openFor(QWidget *owner, bool alignTrailing, int width)
{
    if (!owner || !owner->isVisible())
        return;
    if (layout())
        layout()->activate();
    QSize size = sizeHint();
    if (width > 0)
        size.setWidth(width);
    const QRect ownerRect(owner->mapToGlobal(QPoint(0, 0)), owner->size());
    const QScreen *screen = owner->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(ownerRect.topLeft(), QSize(1 << 20, 1 << 20));
    setLayoutDirection(owner->layoutDirection());
    setGeometry(placement(ownerRect, size, alignTrailing, owner->layoutDirection(), available));
    m_fade.setTarget(0, false);
    setWindowOpacity(0);
    show();
    m_fade.setTarget(1);
}

void PopupPanel::focusRow(QWidget *row)
{
    if (!row) {
        const auto children = findChildren<QWidget *>();
        const auto first = std::find_if(children.begin(), children.end(), [](QWidget *child) {
            return (child->focusPolicy() & Qt::TabFocus) && child->isVisible() && child->isEnabled();
        });
        row = first == children.end() ? nullptr : *first;
    }
    if (row)
        row->setFocus(Qt::TabFocusReason);
}

void PopupPanel::mousePressEvent(QMouseEvent *event)
{
    // Qt closes a pop-up on a press outside it and would then replay that press underneath.
    if (!rect().contains(event->position().toPoint()))
        setAttribute(Qt::WA_NoMouseReplay);
    QWidget::mousePressEvent(event);
}

void PopupPanel::keyPressEvent(QKeyEvent *event)
{
    // Rows pass arrow keys on among themselves; this starts the walk when no row has focus yet.
    if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up) {
        focusNextPrevChild(event->key() == Qt::Key_Down);
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopupPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        emit closed();
}

void PopupPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(kit::roundedRect(rect(), 8), m_background);
}

} // namespace brelta::designsystem
