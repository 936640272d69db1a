#include "designsystem/components/BrandButton.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"

#include <QPainter>

#include <cmath>

namespace brelta::designsystem {

BrandButton::Tokens BrandButton::tokens(Type type, Shape shape, Size size)
{
    Tokens t{};
    t.cornerRadius = shape == Shape::Pill ? 100 : 8;
    switch (size) {
    case Size::Large:
        t = {56, t.cornerRadius, 8, 24, BodySize::Large, IconSize::Large, 0};
        break;
    case Size::Medium:
        t = {shape == Shape::Pill ? 40 : 48, t.cornerRadius, 6, 20, BodySize::Medium, IconSize::Medium, 0};
        break;
    case Size::Small:
        t = {shape == Shape::Pill ? 32 : 40, t.cornerRadius, 4, 16, BodySize::Small, IconSize::Small, 0};
        break;
    case Size::Tiny:
        t = {24, t.cornerRadius, 2, 8, BodySize::Tiny, IconSize::Tiny, 0};
        break;
    }
    t.spinnerScale = type == Type::Text ? 0.35 : 0.75;
    return t;
}

BrandButton::BrandButton(const QString &title, std::optional<IconName> icon, Type type, Shape shape, Size size,
                         QWidget *parent)
    : KitButton(parent)
    , m_title(title)
    , m_icon(icon)
    , m_type(type)
    , m_shape(shape)
    , m_size(size)
    , m_spinner(this)
{
    refresh();
}

void BrandButton::setTitle(const QString &title)
{
    m_title = title;
    refresh();
}

void BrandButton::setIcon(std::optional<IconName> icon)
{
    m_icon = icon;
    refresh();
}

void BrandButton::setLoading(bool loading)
{
    m_loading = loading;
    m_spinner.setActive(loading);
    setAccessibleDescription(loading ? QStringLiteral("Loading") : QString());
    update();
}

void BrandButton::setFullSize(bool fullSize)
{
    m_fullSize = fullSize;
    refresh();
}

void BrandButton::refresh()
{
    setAccessibleName(m_title.isEmpty() && m_icon ? Icons::rawValue(*m_icon) : m_title);
    setSizePolicy(m_fullSize ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

QSizeF BrandButton::contentSize() const
{
    const Tokens t = tokens(m_type, m_shape, m_size);
    QSizeF size(0, 0);
    if (!m_title.isEmpty())
        size = kit::lineSize(m_title, Typography::bodyFont(t.textSize, BodyWeight::Bold));
    if (m_icon) {
        const int side = Icons::points(t.iconSize);
        size.setWidth(size.width() + (m_title.isEmpty() ? 0 : t.spacing) + side);
        size.setHeight(std::max<qreal>(size.height(), side));
    }
    return size;
}

QSize BrandButton::sizeHint() const
{
    const Tokens t = tokens(m_type, m_shape, m_size);
    return QSize(int(std::ceil(contentSize().width())) + 2 * t.horizontalPadding, t.height);
}

void BrandButton::paintEvent(QPaintEvent *)
{
    const Tokens t = tokens(m_type, m_shape, m_size);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(stateOpacity());

    const QRectF frame = rect();
    const QPainterPath background = kit::roundedRect(frame, t.cornerRadius);
    if (m_type == Type::Primary)
        painter.fillPath(background, Gradients::brand(frame, layoutDirection()));
    else if (m_type == Type::Secondary)
        painter.fillPath(background, Colors::overlay20());

    // The content is centred; with fullSize the padding lies inside the offered width.
    const QSizeF content(contentSize().width(), std::ceil(contentSize().height()));
    const qreal underline = m_type == Type::Text ? 1 : 0;
    const QRectF row(std::round((frame.width() - content.width()) / 2),
                     std::round((frame.height() - content.height() - underline) / 2), content.width(),
                     content.height());

    if (!m_loading) {
        const int side = Icons::points(t.iconSize);
        const bool rtl = layoutDirection() == Qt::RightToLeft;
        if (!m_title.isEmpty()) {
            const qreal textWidth = content.width() - (m_icon ? t.spacing + side : 0);
            const QRectF textArea(rtl ? row.right() - textWidth : row.left(), row.top(), textWidth, row.height());
            kit::drawLine(painter, textArea, m_title, Typography::bodyFont(t.textSize, BodyWeight::Bold),
                          Colors::gray100());
        }
        if (m_icon) {
            const qreal ratio = devicePixelRatioF();
            const qreal x = rtl ? row.left() : row.right() - side;
            const qreal y = row.top() + (row.height() - side) / 2;
            painter.drawImage(QPointF(std::round(x * ratio) / ratio, std::round(y * ratio) / ratio),
                              Icons::image(*m_icon, side, Colors::gray100(), ratio));
        }
    } else {
        Spinner::paint(painter, row.center(), Spinner::naturalDiameter * t.spinnerScale, Colors::gray100(),
                       m_spinner.phase());
    }

    if (m_type == Type::Text) {
        // The line spans the content, not the padding, and stays while loading.
        const QRectF line(row.left(), row.bottom(), row.width(), 1);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(line, Gradients::brand(line, layoutDirection()));
        painter.setRenderHint(QPainter::Antialiasing);
    }

    if (hasKeyboardFocus())
        kit::drawFocusRing(painter, frame, t.cornerRadius);
}

} // namespace brelta::designsystem
