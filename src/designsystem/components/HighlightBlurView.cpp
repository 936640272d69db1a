#include "designsystem/components/HighlightBlurView.h"

#include "designsystem/foundation/Colors.h"

#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QGraphicsEllipseItem>
#include <QGraphicsScene>
#include <QPainter>

#include <cmath>

namespace brelta::designsystem {

namespace {

constexpr qreal glowOpacity = 0.65;

class GlowLayer : public QWidget
{
public:
    GlowLayer(QSize ellipse, QWidget *parent) : QWidget(parent), m_ellipse(ellipse)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const qreal ratio = devicePixelRatioF();
        if (m_glow.isNull() || m_glow.devicePixelRatio() != ratio)
            m_glow = HighlightBlurView::renderGlow(m_ellipse, ratio);
        QPainter painter(this);
        painter.setOpacity(glowOpacity);
        painter.drawImage(QPointF(0, 0), m_glow);
    }

private:
    QSize m_ellipse;
    QImage m_glow;
};

} // namespace

HighlightBlurView::HighlightBlurView(int width, int height, QWidget *parent)
    : QWidget(parent)
    , m_size(std::max(0, width), std::max(0, height))
{
    setFixedSize(m_size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    syncLayer();
}

HighlightBlurView::~HighlightBlurView()
{
    delete m_layer;
}

QImage HighlightBlurView::renderGlow(QSize size, qreal ratio)
{
    // Qt's blur spreads the ellipse by its radius; rendering in device pixels keeps it smooth when scaled.
    const QSize device(int(std::ceil((size.width() + 2 * spread) * ratio)),
                       int(std::ceil((size.height() + 2 * spread) * ratio)));
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!size.isEmpty()) {
        QGraphicsScene scene(QRectF(QPointF(0, 0), device));
        auto *ellipse =
            scene.addEllipse(QRectF(spread * ratio, spread * ratio, size.width() * ratio, size.height() * ratio),
                             Qt::NoPen, Colors::brandPink());
        auto *blur = new QGraphicsBlurEffect;
        blur->setBlurRadius(spread * ratio);
        blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
        ellipse->setGraphicsEffect(blur);
        QPainter painter(&image);
        scene.render(&painter, QRectF(QPointF(0, 0), device), scene.sceneRect());
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

bool HighlightBlurView::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
        syncLayer();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void HighlightBlurView::syncLayer()
{
    QWidget *parent = parentWidget();
    if (!parent || isWindow()) {
        delete m_layer;
        return;
    }
    if (!m_layer || m_layer->parentWidget() != parent) {
        delete m_layer;
        m_layer = new GlowLayer(m_size, parent);
    }
    m_layer->setGeometry(geometry().adjusted(-spread, -spread, spread, spread));
    m_layer->lower();
    m_layer->setVisible(isVisibleTo(parent));
}

} // namespace brelta::designsystem
