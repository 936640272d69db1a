#include "designsystem/components/NotificationWrapperView.h"

#include "designsystem/foundation/Gradients.h"

#include <QPainter>
#include <QVBoxLayout>

namespace brelta::designsystem {

NotificationWrapperView::NotificationWrapperView(QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_content(content)
{
    setFixedWidth(fixedWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (content)
        layout->addWidget(content);
}

void NotificationWrapperView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Gradients::background(QRectF(rect()), layoutDirection()));
}

} // namespace brelta::designsystem
