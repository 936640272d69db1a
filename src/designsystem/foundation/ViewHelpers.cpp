#include "designsystem/foundation/ViewHelpers.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMouseEvent>
#include <QScreen>

namespace brelta::designsystem {

SizeCalculator::SizeCalculator(QWidget *view) : QObject(view), m_view(view)
{
    view->installEventFilter(this);
    if (view->isVisible())
        measure();
}

bool SizeCalculator::eventFilter(QObject *watched, QEvent *event)
{
    // A freshly shown child may still wait for its parent's layout pass, which is already queued: measure
    // after it.
    if (watched == m_view && event->type() == QEvent::Show)
        QMetaObject::invokeMethod(this, &SizeCalculator::measure, Qt::QueuedConnection);
    return false;
}

void SizeCalculator::measure()
{
    if (!m_view || !m_view->isVisible())
        return;
    m_size = m_view->size();
    emit sizeMeasured(m_size);
}

TapOutside::TapOutside(QWidget *view) : QObject(view), m_view(view) {}

TapOutside::~TapOutside()
{
    setActive(false);
}

void TapOutside::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool TapOutside::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType() || !m_view || !m_view->isVisible())
        return false;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QPoint global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
    if (!screen->geometry().contains(global) || m_view->rect().contains(m_view->mapFromGlobal(global)))
        return false;
    emit tappedOutside();
    return true;
}

PlaceholderStack::PlaceholderStack(QWidget *view, QWidget *hint, Qt::Alignment alignment, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
    , m_hint(hint)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QSizePolicy hintPolicy = hint->sizePolicy();
    hintPolicy.setRetainSizeWhenHidden(true);
    hint->setSizePolicy(hintPolicy);
    layout->addWidget(hint, 0, 0, alignment);
    layout->addWidget(view, 0, 0, alignment);
    view->raise();
}

void PlaceholderStack::setHintShown(bool shown)
{
    m_hint->setVisible(shown);
}

} // namespace brelta::designsystem
