#include "designsystem/components/BrandMenu.h"

#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Typography.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

using namespace std::chrono_literals;

namespace brelta::designsystem {

namespace {
constexpr int rowPadding = 8;
constexpr int iconSpacing = 12;
constexpr int iconSide = 16;

QFont itemFont()
{
    return Typography::bodyFont(BodySize::Small, BodyWeight::Regular);
}
} // namespace

BrandMenuItem::BrandMenuItem(const QString &title, std::optional<IconName> icon, std::function<void()> action,
                             QWidget *parent)
    : KitButton(parent)
    , m_title(title)
    , m_icon(icon)
{
    setAccessibleName(title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

QSize BrandMenuItem::sizeHint() const
{
    const QSizeF text = kit::lineSize(m_title, itemFont());
    const int iconWidth = m_icon ? iconSpacing + iconSide : 0;
    const int contentHeight = std::max(int(std::ceil(text.height())), m_icon ? iconSide : 0);
    return QSize(int(std::ceil(text.width())) + iconWidth + 2 * rowPadding, contentHeight + 2 * rowPadding);
}

void BrandMenuItem::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setOpacity(stateOpacity());
    const QRectF content = QRectF(rect()).adjusted(rowPadding, rowPadding, -rowPadding, -rowPadding);
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    QRectF textArea = content;
    if (m_icon) {
        textArea.setWidth(content.width() - iconSpacing - iconSide);
        if (rtl)
            textArea.moveRight(content.right());
        const qreal ratio = devicePixelRatioF();
        const qreal x = rtl ? content.left() : content.right() - iconSide;
        const qreal y = std::round((content.top() + (content.height() - iconSide) / 2) * ratio) / ratio;
        painter.drawImage(QPointF(x, y), Icons::image(*m_icon, iconSide, Colors::gray100(), ratio));
    }
    kit::drawLine(painter, textArea, m_title, itemFont(), Colors::gray100());
    if (hasKeyboardFocus())
        kit::drawFocusRing(painter, rect(), 8);
}

BrandMenu::BrandMenu(QWidget *owner) : PopupPanel(Colors::gray800(), 150ms, QEasingCurve::InOutQuad, owner)
{
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 4, 4, 4);
    rows->setSpacing(0);
}

BrandMenuItem *BrandMenu::addItem(const QString &title, std::optional<IconName> icon, std::function<void()> action)
{
    auto *item = new BrandMenuItem(title, icon, std::move(action));
    addRow(item);
    return item;
}

void BrandMenu::addRow(QWidget *row)
{
    layout()->addWidget(row);
    // Connected after the row's own action, so the action runs first and the panel then closes.
    if (auto *button = qobject_cast<QAbstractButton *>(row))
        connect(button, &QAbstractButton::clicked, this, &QWidget::close);
}

void BrandMenu::openBelow(QWidget *button)
{
    openFor(button, true);
}

void BrandMenu::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        close();
    PopupPanel::mouseReleaseEvent(event);
}

BrandMenuButton::BrandMenuButton(QWidget *parent)
    : IconButton(IconName::More, IconButton::Size::Medium, Colors::overlay10(), parent)
    , m_menu(new BrandMenu(this))
{
    setAccessibleName(QStringLiteral("More options"));
    connect(this, &QAbstractButton::clicked, this, [this] { setMenuVisible(!isMenuVisible()); });
}

void BrandMenuButton::setMenuVisible(bool visible)
{
    if (visible == isMenuVisible())
        return;
    if (!visible) {
        m_menu->close();
        return;
    }
    m_menu->openBelow(this);
    // Opened from the keyboard, the first row takes focus so the arrow keys and Enter work at once.
    if (m_openedByKeyboard && m_menu->isOpen())
        m_menu->focusRow();
    m_openedByKeyboard = false;
}

void BrandMenuButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter || event->key() == Qt::Key_Space || event->key() == Qt::Key_Select)
        m_openedByKeyboard = true;
    if (enter) {
        if (!event->isAutoRepeat())
            click();
        return;
    }
    IconButton::keyPressEvent(event);
}

} // namespace brelta::designsystem
