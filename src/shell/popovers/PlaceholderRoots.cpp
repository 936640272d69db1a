#include "shell/popovers/PlaceholderRoots.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/foundation/Typography.h"
#include "shell/PopoverSizes.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace brelta::shell {

namespace {

constexpr int kCornerRadius = 12;
constexpr int kPadding = 16;
constexpr int kAlertTextGap = 4;

using designsystem::BodySize;
using designsystem::BodyView;
using designsystem::BodyWeight;
using designsystem::Colors;
using designsystem::HeadingSize;
using designsystem::HeadingView;

} // namespace

PopoverSurface::PopoverSurface(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kAlertTextGap);
}

void PopoverSurface::paintGround(QPainter &painter, const QRect &rect, Qt::LayoutDirection direction)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), kCornerRadius, kCornerRadius);
    painter.fillPath(path, designsystem::Gradients::background(QRectF(rect), direction));
    painter.restore();
}

void PopoverSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintGround(painter, rect(), layoutDirection());
}

PlaceholderRoot::PlaceholderRoot(const QString &title, const QString &note, QWidget *parent) : PopoverSurface(parent)
{
    layout()->addWidget(new HeadingView(title, HeadingSize::H3, Colors::gray100(), this));
    layout()->addWidget(new BodyView(note, BodySize::Small, BodyWeight::Regular, Colors::gray400(), this));
    static_cast<QVBoxLayout *>(layout())->addStretch();
}

AlertRoot::AlertRoot(const QString &title, const QString &message, QWidget *parent)
    : PopoverSurface(parent)
    , m_title(new BodyView(title, BodySize::Medium, BodyWeight::Bold, Colors::gray100(), this))
    , m_message(new BodyView(message, BodySize::Small, BodyWeight::Regular, Colors::gray100(), this))
{
    m_title->setObjectName(QStringLiteral("alertTitle"));
    m_message->setObjectName(QStringLiteral("alertMessage"));
    layout()->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    layout()->addWidget(m_title);
    layout()->addWidget(m_message);
    m_title->setVisible(!title.isEmpty());
    m_message->setVisible(!message.isEmpty());
    static_cast<QVBoxLayout *>(layout())->addStretch();
    setCursor(Qt::PointingHandCursor);
}

QString AlertRoot::title() const
{
    return m_title->text();
}

QString AlertRoot::message() const
{
    return m_message->text();
}

qreal AlertRoot::height(const QString &title, const QString &message, qreal width)
{
    using designsystem::Typography;
    using designsystem::TypographyType;
    // 20 more than the padding: the text never runs right up to the popover's rounded edge.
    const qreal textWidth = width - 2 * kHorizontalPadding - 20;
    constexpr qreal unbounded = 1e6;
    const qreal titleHeight = title.isEmpty()
                                  ? 0
                                  : Typography::measureText(TypographyType::Body, title, QStringLiteral("Inter-Bold"),
                                                            BodySize::Medium, textWidth, unbounded)
                                        .height();
    const qreal messageHeight = message.isEmpty()
                                    ? 0
                                    : Typography::measureText(TypographyType::Body, message, QStringLiteral("Inter"),
                                                              BodySize::Small, textWidth, unbounded)
                                          .height();
    return 2 * kVerticalPadding + titleHeight + messageHeight + 10;
}

int AlertRoot::heightFor(const QString &title, const QString &message)
{
    return int(std::ceil(height(title, message, sizes::kAlertMeasureWidth)));
}

void AlertRoot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit tapped();
    PopoverSurface::mouseReleaseEvent(event);
}

} // namespace brelta::shell
