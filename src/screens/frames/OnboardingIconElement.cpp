#include "screens/frames/OnboardingIconElement.h"

#include "designsystem/components/KitButton.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/Typography.h"
#include "screens/frames/PageTitleBlock.h"

#include <QPainter>
#include <QVBoxLayout>

namespace brelta::screens {

using namespace designsystem;

namespace {

// The BrandPurple disc behind a page's icon; an empty frame of the same size when the page has none.
class IconCircle : public QWidget
{
public:
    IconCircle(bool filled, QWidget *parent) : QWidget(parent), m_filled(filled)
    {
        setFixedSize(OnboardingIconElement::kIconFrame, OnboardingIconElement::kIconFrame);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_filled)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Colors::brandPurple());
        painter.drawEllipse(rect());
    }

private:
    bool m_filled;
};

} // namespace

// "Skip": body text that acts on one click, or Space and Enter when focused.
class SkipButton : public KitButton
{
public:
    explicit SkipButton(QWidget *parent) : KitButton(parent)
    {
        setAccessibleName(OnboardingIconElement::kSkipTitle);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(sizeHint());
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(Typography::bodyFont(BodySize::Medium, BodyWeight::Regular));
        return metrics.size(Qt::TextSingleLine, OnboardingIconElement::kSkipTitle) + QSize(2, 2);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setOpacity(stateOpacity());
        painter.setFont(Typography::bodyFont(BodySize::Medium, BodyWeight::Regular));
        painter.setPen(Colors::gray100());
        painter.drawText(rect(), Qt::AlignCenter, OnboardingIconElement::kSkipTitle);
    }
};

OnboardingIconElement::OnboardingIconElement(const std::optional<QString> &title,
                                             const std::optional<QString> &subtitle, std::optional<IconName> iconName,
                                             std::function<void()> onSkipPress, QWidget *bottom, QWidget *parent)
    : QWidget(parent)
    , m_iconFrame(new IconCircle(iconName.has_value(), this))
    , m_titleBlock(new PageTitleBlock(title, subtitle, this))
    , m_bottom(bottom)
{
    if (iconName) {
        m_icon = new IconView(*iconName, IconSize::Large, m_iconFrame);
        auto *centre = new QVBoxLayout(m_iconFrame);
        centre->setContentsMargins(0, 0, 0, 0);
        centre->addWidget(m_icon, 0, Qt::AlignCenter);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kHorizontalPadding, kVerticalPadding, kHorizontalPadding, kVerticalPadding);
    layout->setSpacing(kSpacing);
    layout->addWidget(m_iconFrame, 0, Qt::AlignHCenter);
    layout->addWidget(m_titleBlock);
    if (m_bottom)
        layout->addWidget(m_bottom);
    layout->addStretch(1);

    if (onSkipPress) {
        m_skip = new SkipButton(this);
        connect(m_skip, &QAbstractButton::clicked, this, [action = std::move(onSkipPress)] { action(); });
        placeSkip();
    }
}

QWidget *OnboardingIconElement::skipButton() const
{
    return m_skip;
}

void OnboardingIconElement::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeSkip();
}

void OnboardingIconElement::placeSkip()
{
    if (!m_skip)
        return;
    // Offset from the top-trailing corner, mirrored in a right-to-left layout.
    const int x =
        layoutDirection() == Qt::RightToLeft ? kHorizontalPadding : width() - kHorizontalPadding - m_skip->width();
    m_skip->move(x, kVerticalPadding);
    m_skip->raise();
}

} // namespace brelta::screens
