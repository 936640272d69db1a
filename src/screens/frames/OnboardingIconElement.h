#pragma once

#include "designsystem/foundation/Icons.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace brelta::designsystem {
class IconView;
}

namespace brelta::screens {

class PageTitleBlock;
class SkipButton;

// The page with a large round icon, a title block and the caller's content below: every onboarding step
// but the welcome page. Without an icon the 80 × 80 place stays empty so the page does not move; with an
// `onSkipPress` action a "Skip" text in the top-trailing corner calls it.
class OnboardingIconElement : public QWidget
{
    Q_OBJECT

public:
    static inline const QString kSkipTitle = QStringLiteral("Skip");
    static constexpr int kIconFrame = 80;
    static constexpr int kHorizontalPadding = 24;
    static constexpr int kVerticalPadding = 40;
    static constexpr int kSpacing = 40;

    // Takes ownership of `bottom` (may be null).
    OnboardingIconElement(const std::optional<QString> &title, const std::optional<QString> &subtitle,
                          std::optional<designsystem::IconName> iconName, std::function<void()> onSkipPress,
                          QWidget *bottom, QWidget *parent = nullptr);

    // The 80 × 80 frame of the icon; it holds an IconView only when the page has an icon.
    QWidget *iconFrame() const { return m_iconFrame; }
    designsystem::IconView *icon() const { return m_icon; }
    PageTitleBlock *titleBlock() const { return m_titleBlock; }
    // Null when the page has no skip action.
    QWidget *skipButton() const;
    QWidget *bottomContent() const { return m_bottom; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeSkip();

    QWidget *m_iconFrame;
    designsystem::IconView *m_icon = nullptr;
    PageTitleBlock *m_titleBlock;
    SkipButton *m_skip = nullptr;
    QWidget *m_bottom;
};

} // namespace brelta::screens
