#include "platform/desktop/PopoverWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace brelta::platform::desktop {

namespace {

Qt::WindowFlags flagsFor(PopoverWindow::Behaviour behaviour)
{
    // A tool window stays out of the task bar; staying on top keeps it by the panel it hangs from.
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;
    if (behaviour == PopoverWindow::Behaviour::Semitransient)
        flags |= Qt::WindowDoesNotAcceptFocus;
    return flags;
}

} // namespace

QRect availableAreaFor(const PopoverAnchor &anchor)
{
    QScreen *screen = QGuiApplication::screenAt(anchor.rect.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

PopoverWindow::PopoverWindow(Behaviour behaviour, QWidget *parent)
    : QWidget(parent, flagsFor(behaviour))
    , m_behaviour(behaviour)
{
    setAttribute(Qt::WA_TranslucentBackground);
    if (behaviour == Behaviour::Semitransient)
        setAttribute(Qt::WA_ShowWithoutActivating);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

PopoverWindow::~PopoverWindow()
{
    qApp->removeEventFilter(this);
}

void PopoverWindow::setRoot(QWidget *root)
{
    if (m_root == root)
        return;
    delete m_root;
    m_root = root;
    if (root)
        layout()->addWidget(root);
}

void PopoverWindow::setContentSize(const QSize &size)
{
    m_contentSize = size;
    setFixedSize(size);
    if (isVisible())
        place();
}

void PopoverWindow::showAt(const PopoverAnchor &anchor)
{
    m_anchor = anchor;
    place();
    show();
}

void PopoverWindow::activate()
{
    if (m_behaviour == Behaviour::Semitransient)
        return;
    raise();
    activateWindow();
}

void PopoverWindow::place()
{
    const QSize size = m_contentSize.isValid() ? m_contentSize : sizeHint();
    setGeometry(placePopover(size, m_anchor, availableAreaFor(m_anchor)));
}

void PopoverWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_behaviour == Behaviour::Transient)
        qApp->installEventFilter(this);
}

void PopoverWindow::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

void PopoverWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || m_behaviour != Behaviour::Transient || isActiveWindow())
        return;
    // Decided once the new active window is known: a dialog this popover opened keeps it open.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isActiveWindow() && !ownsWindow(QApplication::activeWindow()))
            dismiss(DismissReason::LostActivation);
    });
}

void PopoverWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_behaviour == Behaviour::Transient) {
        dismiss(DismissReason::Escape);
        return;
    }
    QWidget::keyPressEvent(event);
}

bool PopoverWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && isVisible() && watched->isWidgetType()) {
        const QWidget *pressed = static_cast<QWidget *>(watched)->window();
        if (!ownsWindow(pressed))
            dismiss(DismissReason::OutsideClick);
    }
    return QWidget::eventFilter(watched, event);
}

bool PopoverWindow::ownsWindow(const QWidget *window) const
{
    for (const QWidget *w = window; w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

void PopoverWindow::dismiss(DismissReason reason)
{
    if (!isVisible())
        return;
    close();
    emit dismissed(reason);
}

} // namespace brelta::platform::desktop
