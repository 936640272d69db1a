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
        // The whole width, each line centred: a subtitle that wraps keeps its lines centred and its height.
        m_subtitle->setAlignment(Qt::AlignHCenter);
        layout->addWidget(m_subtitle);
    }
    // Not a fixed height: that would be the one-line size hint, and a wrapped subtitle would be cut off. The
    // layouts give the block the height its texts need at the width they give it.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

} // namespace brelta::screens
