#include "designsystem/foundation/TextView.h"

#include "designsystem/foundation/TextLayout.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brelta::designsystem {

namespace {
// Wide enough that a single-line hint never wraps.
constexpr qreal unboundedWidth = 1e6;
} // namespace

TextView::TextView(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
    , m_color(color)
{
    setFont(font);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(text);
}

void TextView::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void TextView::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void TextView::setTextFont(const QFont &font)
{
    setFont(font);
    updateGeometry();
    update();
}

QSizeF TextView::laidOutSize(qreal width) const
{
    return TextLayout(m_text, font(), width, Typography::drawnLineSpacing).size();
}

void TextView::setAlignment(Qt::Alignment alignment)
{
    if (m_alignment == alignment)
        return;
    m_alignment = alignment;
    update();
}

QSize TextView::sizeHint() const
{
    // A view given a fixed width wraps at it; otherwise it asks for one line.
    const bool fixedWidth = minimumWidth() == maximumWidth();
    const QSizeF size = laidOutSize(fixedWidth ? qreal(maximumWidth()) : unboundedWidth);
    if (fixedWidth)
        return QSize(maximumWidth(), int(std::ceil(size.height())));
    return QSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
}

QSize TextView::minimumSizeHint() const
{
    // Wraps down to its longest word; never narrower than one line's height.
    return QSize(0, int(std::ceil(laidOutSize(unboundedWidth).height())));
}

int TextView::heightForWidth(int width) const
{
    // Layouts may offer more than the view's maximum width; it is drawn at most that wide.
    return int(std::ceil(laidOutSize(std::min(width, maximumWidth())).height()));
}

void TextView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(m_color);
    const QRect area = contentsRect();
    TextLayout(m_text, font(), area.width(), Typography::drawnLineSpacing, -1, m_alignment)
        .draw(&painter, area.topLeft());
}

HeadingView::HeadingView(const QString &text, HeadingSize size, const QColor &color, QWidget *parent)
    : TextView(text, Typography::headingFont(size), color, parent)
    , m_size(size)
{}

void HeadingView::setHeadingSize(HeadingSize size)
{
    m_size = size;
    setTextFont(Typography::headingFont(size));
}

BodyView::BodyView(const QString &text, BodySize size, BodyWeight weight, const QColor &color, QWidget *parent)
    : TextView(text, Typography::bodyFont(size, weight), color, parent)
    , m_size(size)
    , m_weight(weight)
{}

void BodyView::setBodySize(BodySize size)
{
    m_size = size;
    setTextFont(Typography::bodyFont(size, m_weight));
}

} // namespace brelta::designsystem
