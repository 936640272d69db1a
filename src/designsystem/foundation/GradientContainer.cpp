#include "designsystem/foundation/GradientContainer.h"

#include "designsystem/foundation/Gradients.h"

#include <QGridLayout>
#include <QPainter>

namespace brelta::designsystem {

GradientContainer::GradientContainer(Gradient gradient, QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_gradient(gradient)
    , m_content(content)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content, 0, 0, Qt::AlignCenter);
}

void GradientContainer::paintEvent(QPaintEvent *)
{
    const QRectF area = m_content->geometry();
    if (area.isEmpty())
        return;
    QPainter painter(this);
    painter.fillRect(area, m_gradient == Gradient::Background ? Gradients::background(area, layoutDirection())
                                                              : Gradients::brand(area, layoutDirection()));
}

} // namespace brelta::designsystem
