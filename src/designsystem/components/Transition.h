#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

#include <chrono>

namespace brelta::designsystem {

// A value between 0 and 1 that eases to its target over a short time and repaints its widget on the
// way. While the widget is hidden it jumps instead: a tray program must not run timers for nothing, and
// a widget shown again should not replay a change made while nobody looked.
class Transition : public QObject
{
    Q_OBJECT

public:
    Transition(QWidget *host, std::chrono::milliseconds duration, QEasingCurve::Type easing, qreal initial = 0);

    qreal value() const { return m_value; }
    qreal target() const { return m_target; }
    bool isRunning() const { return m_animation.state() == QAbstractAnimation::Running; }

    // Moves towards `target`: eased while the host is shown and `animated` is true, at once otherwise.
    void setTarget(qreal target, bool animated = true);

signals:
    void valueChanged(qreal value);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(qreal value);

    QPointer<QWidget> m_host;
    QVariantAnimation m_animation;
    qreal m_value;
    qreal m_target;
    bool m_shown;
};

} // namespace brelta::designsystem
