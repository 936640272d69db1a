#include "screens/settings/SettingsBlock.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/TextView.h"
#include "platform/Clock.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace brelta::screens {

using namespace designsystem;

namespace {
constexpr qreal kCornerRadius = 8;
constexpr qreal kOutlineOpacity = 0.75;
} // namespace

SettingsBlock::SettingsBlock(const QString &title, const QString &subtitle, QWidget *content, platform::Clock *clock,
                             QWidget *parent)
    : QWidget(parent)
    , m_title(new BodyView(title, BodySize::Medium, BodyWeight::Bold, Colors::gray100(), this))
    , m_subtitle(new BodyView(subtitle, BodySize::Small, BodyWeight::Regular, Colors::gray400(), this))
    , m_content(content)
    , m_highlight(this, kHighlightFade, QEasingCurve::InOutQuad)
    , m_onTimer(clock->createTimer())
    , m_offTimer(clock->createTimer())
{
    auto *header = new QVBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(2);
    header->addWidget(m_title);
    header->addWidget(m_subtitle);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(20);
    layout->addLayout(header);
    // Controls keep their own width at the leading edge, unless they ask for the card's full width.
    if (m_content) {
        const bool wide = m_content->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag;
        layout->addWidget(m_content, 0, wide ? Qt::Alignment() : Qt::AlignLeading);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    connect(m_onTimer.get(), &platform::Timer::timeout, this, [this] { setHighlighted(true); });
    connect(m_offTimer.get(), &platform::Timer::timeout, this, [this] { setHighlighted(false); });
    connect(&m_highlight, &Transition::valueChanged, this, qOverload<>(&QWidget::update));
}

SettingsBlock::~SettingsBlock() = default;

QString SettingsBlock::title() const
{
    return m_title->text();
}

QString SettingsBlock::subtitle() const
{
    return m_subtitle->text();
}

void SettingsBlock::setSubtitle(const QString &subtitle)
{
    m_subtitle->setText(subtitle);
}

void SettingsBlock::runFocusHighlight()
{
    m_onTimer->start(kHighlightOn, platform::Timer::Mode::SingleShot);
    m_offTimer->start(kHighlightOff, platform::Timer::Mode::SingleShot);
}

void SettingsBlock::setHighlighted(bool on)
{
    m_highlighted = on;
    m_highlight.setTarget(on ? 1.0 : 0.0);
}

void SettingsBlock::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal level = m_highlight.value();
    QColor fill = Colors::overlay20();
    const QColor lit = Colors::overlay40();
    fill.setAlphaF(fill.alphaF() + (lit.alphaF() - fill.alphaF()) * level);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(card, fill);
    if (level > 0) {
        const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPen pen(QBrush(Gradients::brand(outline, layoutDirection())), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        painter.setOpacity(kOutlineOpacity * level);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(outline, kCornerRadius, kCornerRadius);
    }
}

} // namespace brelta::screens
