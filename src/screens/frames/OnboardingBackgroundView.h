#pragma once

#include <QWidget>

namespace brelta::designsystem {
class HighlightBlurView;
}

namespace brelta::screens {

class ScreenImage;

// The dark gradient (top-leading to bottom-trailing) with the overlay image stretched over it, an
// optional pink glow in the middle, and the caller's content on top filling the whole view. It is behind
// every onboarding page and behind the sign-in screen.
class OnboardingBackgroundView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHighlightWidth = 280;
    static constexpr int kHighlightHeight = 120;

    // Takes ownership of `content`.
    OnboardingBackgroundView(bool withHighlight, QWidget *content, QWidget *parent = nullptr);

    bool withHighlight() const { return m_highlight != nullptr; }
    QWidget *content() const { return m_content; }
    ScreenImage *overlay() const { return m_overlay; }
    // Null without the highlight.
    designsystem::HighlightBlurView *highlight() const { return m_highlight; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeLayers();

    ScreenImage *m_overlay;
    designsystem::HighlightBlurView *m_highlight = nullptr;
    QWidget *m_content;
};

} // namespace brelta::screens
