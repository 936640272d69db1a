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
    , m_message(new BodyView(message, BodySize::Small, BodyWeight::Regular, Colors::gray200(), this))
{
    m_title->setObjectName(QStringLiteral("alertTitle"));
    m_message->setObjectName(QStringLiteral("alertMessage"));
    layout()->addWidget(m_title);
    layout()->addWidget(m_message);
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

int AlertRoot::heightFor(const QString &title, const QString &message)
{
    using designsystem::Typography;
    using designsystem::TypographyType;
    const qreal width = sizes::kAlertMeasureWidth - 2 * kPadding;
    const QRectF titleBox = Typography::measureText(TypographyType::Body, title, QStringLiteral("Inter-Bold"),
                                                    BodySize::Medium, width, 1e6);
    const QRectF messageBox =
        Typography::measureText(TypographyType::Body, message, QStringLiteral("Inter"), BodySize::Small, width, 1e6);
    const int needed = int(std::ceil(titleBox.height() + kAlertTextGap + messageBox.height())) + 2 * kPadding;
    return std::max(needed, sizes::kRecordingEndedPopoverHeight);
}

void AlertRoot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit tapped();
    PopoverSurface::mouseReleaseEvent(event);
}

} // namespace brelta::shell
