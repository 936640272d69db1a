#include "designsystem/components/BrandDropdownMenu.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/Typography.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

using namespace std::chrono_literals;

namespace brelta::designsystem {

namespace {
constexpr int rowPadding = 8;
constexpr int fieldHorizontalPadding = 16;
constexpr int fieldVerticalPadding = 12;
constexpr int chevronSide = 16;
constexpr int chevronSpacing = 8;

QFont titleFont()
{
    return Typography::bodyFont(BodySize::Small, BodyWeight::Regular);
}

int lineHeight()
{
    return int(std::ceil(kit::lineSize(QStringLiteral("Ag"), titleFont()).height()));
}
} // namespace

DropDownMenuItem::DropDownMenuItem(const QString &title, QWidget *parent)
    : KitButton(parent)
    , m_title(title)
    , m_highlight(this, 150ms, QEasingCurve::InQuad)
{
    setAccessibleName(title);
    // As wide as the list; a long title is cut, never wrapped and never widening the list.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize DropDownMenuItem::sizeHint() const
{
    return QSize(int(std::ceil(kit::lineSize(m_title, titleFont()).width())) + 2 * rowPadding,
                 lineHeight() + 2 * rowPadding);
}

void DropDownMenuItem::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    updateHighlight();
    KitButton::enterEvent(event);
}

void DropDownMenuItem::leaveEvent(QEvent *event)
{
    m_hovered = false;
    updateHighlight();
    KitButton::leaveEvent(event);
}

void DropDownMenuItem::focusInEvent(QFocusEvent *event)
{
    KitButton::focusInEvent(event);
    updateHighlight();
}

void DropDownMenuItem::focusOutEvent(QFocusEvent *event)
{
    KitButton::focusOutEvent(event);
    updateHighlight();
}

void DropDownMenuItem::updateHighlight()
{
    // The keyboard's place in the list shows the way the pointer's does.
    m_highlight.setTarget(m_hovered || hasKeyboardFocus() ? 1 : 0);
}

void DropDownMenuItem::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_highlight.value() > 0) {
        painter.setOpacity(m_highlight.value());
        painter.fillPath(kit::roundedRect(rect(), 8), Colors::overlay20());
        painter.setOpacity(1);
    }
    kit::drawLine(painter, QRectF(rect()).adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding), m_title,
                  titleFont(), Colors::gray100());
}

DropdownList::DropdownList(QWidget *owner) : PopupPanel(Colors::brandDarkPurple(), 200ms, QEasingCurve::InQuad, owner)
{
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 4, 4, 4);
    rows->setSpacing(0);
}

void DropdownList::setTitles(const QStringList &titles)
{
    qDeleteAll(m_rows);
    m_rows.clear();
    for (int i = 0; i < titles.size(); ++i) {
        auto *row = new DropDownMenuItem(titles.at(i));
        layout()->addWidget(row);
        connect(row, &QAbstractButton::clicked, this, [this, i] { emit rowChosen(i); });
        m_rows << row;
    }
}

void DropdownList::openBelow(QWidget *field)
{
    openFor(field, false, field->width());
}

BrandDropdownMenu::BrandDropdownMenu(QWidget *parent)
    : KitButton(parent)
    , m_list(new DropdownList(this))
    , m_open(this, 200ms, QEasingCurve::InQuad)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { setExpanded(!isExpanded()); });
    connect(m_list, &DropdownList::rowChosen, this, [this](int index) {
        emit itemChosen(index);
        setExpanded(false);
    });
    connect(m_list, &PopupPanel::closed, this, [this] { m_open.setTarget(0); });
}

void BrandDropdownMenu::setItemTitles(const QStringList &titles)
{
    m_titles = titles;
    m_list->setTitles(titles);
}

void BrandDropdownMenu::setSelection(int index, const QString &title)
{
    m_selectedIndex = index;
    m_selectedTitle = title;
    updateGeometry();
    update();
    QAccessibleValueChangeEvent event(this, title);
    QAccessible::updateAccessibility(&event);
}

void BrandDropdownMenu::setExpanded(bool expanded)
{
    const bool keyboard = std::exchange(m_openedByKeyboard, false);
    if (expanded == isExpanded())
        return;
    if (!expanded) {
        m_list->close();
        return;
    }
    m_list->openBelow(this);
    if (!m_list->isOpen())
        return;
    m_open.setTarget(1);
    if (keyboard) {
        const auto rows = m_list->rows();
        m_list->focusRow(m_selectedIndex >= 0 && m_selectedIndex < rows.size() ? rows.at(m_selectedIndex) : nullptr);
    }
}

QSize BrandDropdownMenu::sizeHint() const
{
    const int text = int(std::ceil(kit::lineSize(m_selectedTitle, titleFont()).width()));
    return QSize(2 * fieldHorizontalPadding + text + chevronSpacing + chevronSide,
                 lineHeight() + 2 * fieldVerticalPadding);
}

QSize BrandDropdownMenu::minimumSizeHint() const
{
    return QSize(2 * fieldHorizontalPadding + chevronSpacing + chevronSide, sizeHint().height());
}

void BrandDropdownMenu::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Down:
    case Qt::Key_Up:
        m_openedByKeyboard = true;
        setExpanded(true);
        return;
    case Qt::Key_Space:
    case Qt::Key_Select:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_openedByKeyboard = true;
        break;
    default:
        break;
    }
    KitButton::keyPressEvent(event);
}

void BrandDropdownMenu::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = rect();
    const qreal open = m_open.value();
    painter.fillPath(kit::roundedRect(frame, 8), Colors::overlay40());
    if (open > 0) {
        painter.setOpacity(open);
        painter.setPen(QPen(Colors::gray600(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(kit::roundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 7.5));
        painter.setOpacity(1);
    }

    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const QRectF content = frame.adjusted(fieldHorizontalPadding, 0, -fieldHorizontalPadding, 0);
    QRectF textArea = content.adjusted(0, 0, -(chevronSpacing + chevronSide), 0);
    if (rtl)
        textArea.moveRight(content.right());
    kit::drawLine(painter, textArea, m_selectedTitle, titleFont(), Colors::gray100());

    // Turned to point down while closed and up while open.
    const qreal ratio = devicePixelRatioF();
    const QPointF centre(
        std::round((rtl ? content.left() + chevronSide / 2.0 : content.right() - chevronSide / 2.0) * ratio) / ratio,
        std::round(frame.center().y() * ratio) / ratio);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(centre);
    painter.rotate(90 - 180 * open);
    painter.drawImage(QPointF(-chevronSide / 2.0, -chevronSide / 2.0),
                      Icons::image(IconName::Chevron, chevronSide, Colors::gray100(), ratio));
    painter.restore();

    if (hasKeyboardFocus())
        kit::drawFocusRing(painter, frame, 8);
}

} // namespace brelta::designsystem
