#include "screens/frames/PageTitleBlock.h"

#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/TextView.h"

#include <QVBoxLayout>

namespace brelta::screens {

using namespace designsystem;

PageTitleBlock::PageTitleBlock(const std::optional<QString> &title, const std::optional<QString> &subtitle,
                               QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    if (title) {
        m_title = new HeadingView(*title, HeadingSize::H2, Colors::gray100(), this);
        layout->addWidget(m_title, 0, Qt::AlignHCenter);
    }
    if (subtitle) {
        m_subtitle = new BodyView(*subtitle, BodySize::Medium, BodyWeight::Regular, Colors::gray100(), this);
        layout->addWidget(m_subtitle, 0, Qt::AlignHCenter);
    }
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

} // namespace brelta::screens
