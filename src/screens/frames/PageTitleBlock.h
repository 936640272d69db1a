#pragma once

#include <QWidget>

#include <optional>

namespace brelta::designsystem {
class HeadingView;
class BodyView;
} // namespace brelta::designsystem

namespace brelta::screens {

// The centred heading and subtitle of an onboarding page. An absent title or subtitle takes no room, so a
// page without either has a title block of no height.
class PageTitleBlock : public QWidget
{
    Q_OBJECT

public:
    PageTitleBlock(const std::optional<QString> &title, const std::optional<QString> &subtitle,
                   QWidget *parent = nullptr);

    designsystem::HeadingView *titleView() const { return m_title; }
    designsystem::BodyView *subtitleView() const { return m_subtitle; }

private:
    designsystem::HeadingView *m_title = nullptr;
    designsystem::BodyView *m_subtitle = nullptr;
};

} // namespace brelta::screens
