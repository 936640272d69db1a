#include "designsystem/components/Transition.h"

#include <QEvent>

namespace brelta::designsystem {

Transition::Transition(QWidget *host, std::chrono::milliseconds duration, QEasingCurve::Type easing, qreal initial)
    : QObject(host)
    , m_host(host)
    , m_value(initial)
    , m_target(initial)
    , m_shown(host->isVisible())
{
    m_animation.setDuration(int(duration.count()));
    m_animation.setEasingCurve(easing);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) { apply(v.toReal()); });
    host->installEventFilter(this);
}

void Transition::setTarget(qreal target, bool animated)
{
    if (target == m_target && (isRunning() || m_value == target))
        return;
    m_target = target;
    m_animation.stop();
    if (!animated || !m_shown || m_value == target) {
        apply(target);
        return;
    }
    m_animation.setStartValue(m_value);
    m_animation.setEndValue(target);
    m_animation.start();
}

bool Transition::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host) {
        if (event->type() == QEvent::Show) {
            m_shown = true;
        } else if (event->type() == QEvent::Hide) {
            m_shown = false;
            if (isRunning()) {
                m_animation.stop();
                apply(m_target);
            }
        }
    }
    return false;
}

void Transition::apply(qreal value)
{
    if (value == m_value)
        return;
    m_value = value;
    if (m_host)
        m_host->update();
    emit valueChanged(value);
}

} // namespace brelta::designsystem
