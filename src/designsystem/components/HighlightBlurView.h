#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace brelta::designsystem {

// A soft BrandPink glow placed behind content for decoration: a blurred ellipse of width × height at 65 %.
// It takes exactly width × height in a layout, while the glow spreads up to `spread` pixels beyond that
// frame. A widget is clipped by its parent, so the glow is painted by a mouse-transparent layer in the
// same parent, behind its other children, that follows this view's geometry and visibility.
class HighlightBlurView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int spread = 50;

    HighlightBlurView(int width, int height, QWidget *parent = nullptr);
    ~HighlightBlurView() override;

    QSize sizeHint() const override { return m_size; }
    // The widget that paints the glow (null while the view has no parent).
    QWidget *glowLayer() const { return m_layer; }

    // The glow for an ellipse of `size`, `spread` pixels larger on each side, rendered at `ratio`.
    static QImage renderGlow(QSize size, qreal ratio);

protected:
    bool event(QEvent *event) override;

private:
    void syncLayer();

    QSize m_size;
    QPointer<QWidget> m_layer;
};

} // namespace brelta::designsystem
