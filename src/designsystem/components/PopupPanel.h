#pragma once

#include "designsystem/components/Transition.h"

#include <QAccessible>
#include <QColor>
#include <QWidget>

namespace brelta::designsystem {

// A dark rounded panel that floats over the layout in a frameless pop-up window of its own (a child
// widget would be clipped by its parent). It fades in when it opens, closes on Escape and on a press
// anywhere outside it (in any window), and that closing press does not also land on whatever lies
// underneath. While open it holds the keyboard: the arrow keys move between its rows.
class PopupPanel : public QWidget
{
    Q_OBJECT

public:
    // Room between the owner and the panel.
    static constexpr int gap = 4;

    // Where a panel of `size` opens for an owner at `owner` (global): `gap` below it with its leading
    // (or trailing) edge on the owner's, or above the owner when the screen has no room below; moved
    // sideways as far as needed to stay within `screen`.
    static QRect placement(const QRect &owner, QSize size, bool alignTrailing, Qt::LayoutDirection direction,
                           const QRect &screen);

    bool isOpen() const { return isVisible(); }
    // Gives keyboard focus to `row`, or to the first row that takes focus when it is null.
    void focusRow(QWidget *row = nullptr);
    qreal fadeProgress() const { return m_fade.value(); }

    virtual QAccessible::Role accessibleRole() const = 0;

signals:
    void closed();

protected:
    PopupPanel(const QColor &background, std::chrono::milliseconds fade, QEasingCurve::Type easing, QWidget *owner);

    // Measures the panel now (its rows may have changed since the last opening), places it for `owner`
    // and shows it. `width` > 0 fixes the panel's width.
    void openFor(QWidget *owner, bool alignTrailing, int width = 0);

    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
    Transition m_fade;
};

} // namespace brelta::designsystem
