#include "designsystem/components/KitButton.h"

#include "designsystem/components/KitAccessibility.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace brelta::designsystem {

KitButton::KitButton(QWidget *parent) : QAbstractButton(parent)
{
    installKitAccessibility();
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
}

void KitButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void KitButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
    QAbstractButton::focusInEvent(event);
}

void KitButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    update();
    QAbstractButton::focusOutEvent(event);
}

} // namespace brelta::designsystem
