#include "designsystem/components/LoaderView.h"

#include "designsystem/components/KitAccessibility.h"
#include "designsystem/foundation/Colors.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace brelta::designsystem {

Spinner::Spinner(QWidget *host) : QObject(host), m_host(host), m_shown(host->isVisible())
{
    m_animation.setStartValue(0.0);
    m_animation.setEndValue(1.0);
    m_animation.setDuration(1000);
    m_animation.setLoopCount(-1);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_phase = value.toReal();
        if (m_host)
            m_host->update();
    });
    host->installEventFilter(this);
}

void Spinner::setActive(bool active)
{
    m_active = active;
    sync();
}

bool Spinner::eventFilter(QObject *watched, QEvent *event)
{
    // Show and Hide reach a widget also when a window above it is shown, hidden or unmapped.
    if (watched == m_host && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        m_shown = event->type() == QEvent::Show;
        sync();
    }
    return false;
}

void Spinner::sync()
{
    const bool run = m_active && m_shown;
    if (run && !isRunning()) {
        // Carry on from where it stopped, rather than jumping back to the top.
        m_animation.start();
        m_animation.setCurrentTime(int(m_phase * m_animation.duration()));
    } else if (!run && isRunning()) {
        m_animation.stop();
    }
}

void Spinner::paint(QPainter &painter, const QPointF &centre, qreal diameter, const QColor &color, qreal phase)
{
    const qreal width = std::max<qreal>(1.5, diameter * 0.1);
    const qreal radius = (diameter - width) / 2;
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor track = color;
    track.setAlphaF(color.alphaF() * 0.25);
    painter.setPen(QPen(track, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle);
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    // Qt counts angles anticlockwise in sixteenths of a degree; the arc turns clockwise.
    const int start = int((90 - phase * 360) * 16);
    painter.drawArc(circle, start, -100 * 16);
    painter.restore();
}

LoaderView::LoaderView(QWidget *parent) : QWidget(parent), m_spinner(this)
{
    installKitAccessibility();
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(QStringLiteral("Loading"));
    m_spinner.setActive(true);
}

void LoaderView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    Spinner::paint(painter, QRectF(rect()).center(), Spinner::naturalDiameter, Colors::gray100(), m_spinner.phase());
}

} // namespace brelta::designsystem
