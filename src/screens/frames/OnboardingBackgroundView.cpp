#include "screens/frames/OnboardingBackgroundView.h"

#include "designsystem/components/HighlightBlurView.h"
#include "designsystem/foundation/Gradients.h"
#include "screens/frames/ScreenImage.h"

#include <QPainter>

namespace brelta::screens {

OnboardingBackgroundView::OnboardingBackgroundView(bool withHighlight, QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_overlay(
          new ScreenImage(QStringLiteral("onboarding_background_overlay"), ScreenImage::Scaling::Stretch, 0, this))
    , m_content(content)
{
    // Children stack in creation order: the overlay, then the glow, then the content on top.
    if (withHighlight)
        m_highlight = new designsystem::HighlightBlurView(kHighlightWidth, kHighlightHeight, this);
    if (m_content) {
        m_content->setParent(this);
        m_content->raise();
    }
    placeLayers();
}

QSize OnboardingBackgroundView::sizeHint() const
{
    return m_content ? m_content->sizeHint() : QWidget::sizeHint();
}

QSize OnboardingBackgroundView::minimumSizeHint() const
{
    return m_content ? m_content->minimumSizeHint() : QWidget::minimumSizeHint();
}

void OnboardingBackgroundView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), designsystem::Gradients::background(rect(), layoutDirection()));
}

void OnboardingBackgroundView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeLayers();
}

void OnboardingBackgroundView::placeLayers()
{
    m_overlay->setGeometry(rect());
    if (m_highlight) {
        const QSize glow(kHighlightWidth, kHighlightHeight);
        m_highlight->setGeometry(QRect(QPoint((width() - glow.width()) / 2, (height() - glow.height()) / 2), glow));
    }
    if (m_content)
        m_content->setGeometry(rect());
}

} // namespace brelta::screens
