#include "screens/frames/OnboardingMenuElement.h"

#include "designsystem/components/BrandMenu.h"
#include "screens/frames/PageTitleBlock.h"
#include "screens/frames/ScreenImage.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brelta::screens {

OnboardingMenuElement::OnboardingMenuElement(const std::optional<QString> &title,
                                             const std::optional<QString> &subtitle, QWidget *middle, QWidget *bottom,
                                             QWidget *parent)
    : QWidget(parent)
    , m_logo(new ScreenImage(QStringLiteral("logo"), ScreenImage::Scaling::Fit, kLogoWidth, this))
    , m_menu(new designsystem::BrandMenuButton(this))
    , m_titleBlock(new PageTitleBlock(title, subtitle, this))
    , m_middle(middle)
    , m_bottom(bottom)
{
    m_menu->addItem(kQuitTitle, std::nullopt, [this] { emit quitChosen(); });

    auto *topRow = new QHBoxLayout;
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->addWidget(m_logo, 0, Qt::AlignVCenter);
    topRow->addStretch(1);
    topRow->addWidget(m_menu, 0, Qt::AlignVCenter);

    // The title block sits centred in all the height the top row and the bottom content leave.
    auto *centre = new QVBoxLayout;
    centre->setContentsMargins(0, 0, 0, 0);
    centre->addStretch(1);
    centre->addWidget(m_titleBlock);
    if (m_middle)
        centre->addWidget(m_middle);
    centre->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);
    layout->addLayout(topRow);
    layout->addLayout(centre, 1);
    if (m_bottom)
        layout->addWidget(m_bottom);
}

} // namespace brelta::screens
