#pragma once

#include <QWidget>

#include <optional>

namespace brelta::designsystem {
class BrandMenuButton;
}

namespace brelta::screens {

class PageTitleBlock;
class ScreenImage;

// The page with the logo and the application menu on top, a title block centred in the space below, and
// the caller's content at the bottom: the welcome page and the sign-in screen. The menu's one entry,
// "Quit Brelta", emits quitChosen; whoever shows the page sends it down the application's quit path.
class OnboardingMenuElement : public QWidget
{
    Q_OBJECT

public:
    static inline const QString kQuitTitle = QStringLiteral("Quit Brelta");
    static constexpr int kLogoWidth = 56;
    static constexpr int kPadding = 24;
    static constexpr int kSpacing = 40;

    // Takes ownership of `middle` (may be null: no middle content) and `bottom` (may be null).
    OnboardingMenuElement(const std::optional<QString> &title, const std::optional<QString> &subtitle, QWidget *middle,
                          QWidget *bottom, QWidget *parent = nullptr);

    ScreenImage *logo() const { return m_logo; }
    designsystem::BrandMenuButton *menuButton() const { return m_menu; }
    PageTitleBlock *titleBlock() const { return m_titleBlock; }
    QWidget *middleContent() const { return m_middle; }
    QWidget *bottomContent() const { return m_bottom; }

signals:
    void quitChosen();

private:
    ScreenImage *m_logo;
    designsystem::BrandMenuButton *m_menu;
    PageTitleBlock *m_titleBlock;
    QWidget *m_middle;
    QWidget *m_bottom;
};

} // namespace brelta::screens
