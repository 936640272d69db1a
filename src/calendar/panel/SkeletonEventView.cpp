#include "calendar/panel/SkeletonEventView.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace brelta::calendar {

using namespace designsystem;

namespace {

constexpr qreal kRadius = 8;
constexpr qreal kBandWidth = 15;
constexpr qreal kBandOverhang = 25;
constexpr qreal kBandBlur = 10;
constexpr qreal kBandAngle = 10;

// An empty shape of the size of what will stand there.
class Bar : public QWidget
{
public:
    Bar(int width, int height, QWidget *parent) : QWidget(parent) { setFixedSize(width, height); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(kit::roundedRect(QRectF(rect()), 4), Colors::overlay10());
    }
};

} // namespace

SkeletonEventView::SkeletonEventView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 16, 16, 16);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(new Bar(150, 16, this));
    texts->addWidget(new Bar(100, 12, this));
    row->addLayout(texts);
    row->addStretch();
    row->addWidget(new Bar(75, 24, this), 0, Qt::AlignVCenter);

    m_sweep.setStartValue(0.0);
    m_sweep.setEndValue(1.0);
    m_sweep.setDuration(kSweepMs);
    m_sweep.setEasingCurve(QEasingCurve::InOutCubic);
    m_sweep.setLoopCount(-1);
    connect(&m_sweep, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
}

qreal SkeletonEventView::bandPosition() const
{
    const qreal progress = m_sweep.currentValue().toReal();
    return -kBandOverhang + progress * (width() + 2 * kBandOverhang);
}

void SkeletonEventView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_sweep.start();
}

void SkeletonEventView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_sweep.stop();
}

void SkeletonEventView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = kit::roundedRect(QRectF(rect()), kRadius);
    painter.fillPath(shape, Colors::overlay20());
    painter.setClipPath(shape);

    // The band: white at 20 %, its edges fading over the blur radius, leaning 10 degrees.
    painter.translate(bandPosition(), height() / 2.0);
    painter.rotate(kBandAngle);
    const qreal half = kBandWidth / 2 + kBandBlur;
    QLinearGradient light(-half, 0, half, 0);
    QColor white(255, 255, 255, 0);
    light.setColorAt(0, white);
    white.setAlphaF(0.2);
    light.setColorAt(kBandBlur / (2 * half), white);
    light.setColorAt(1 - kBandBlur / (2 * half), white);
    white.setAlphaF(0);
    light.setColorAt(1, white);
    painter.fillRect(QRectF(-half, -height(), 2 * half, 2.0 * height()), light);
}

} // namespace brelta::calendar
