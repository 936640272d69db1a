#pragma once

#include "platform/desktop/PopoverPlacement.h"

#include <QPointer>
#include <QWidget>

namespace brelta::platform::desktop {

// A popover: a frameless, translucent top-level window that hangs from an anchor (the tray icon) and has
// no arrow. Its content is one root widget, which paints the popover's background and fills the window.
//
// Transient popovers take the focus when activated and close themselves when the user clicks outside them
// in this program, when they lose activation (the user turned to another window) and on Escape.
// Semitransient ones never take the focus, so showing one does not pull the user out of their meeting;
// they close only when told to.
class PopoverWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Behaviour { Transient, Semitransient };
    enum class DismissReason { OutsideClick, LostActivation, Escape };
    Q_ENUM(DismissReason)

    explicit PopoverWindow(Behaviour behaviour, QWidget *parent = nullptr);
    ~PopoverWindow() override;

    Behaviour behaviour() const { return m_behaviour; }

    // Replaces the root (the previous one is deleted) and sizes it to the content size.
    void setRoot(QWidget *root);
    QWidget *root() const { return m_root; }

    // The size of the content. While shown, the window stays on the anchored edge as it resizes.
    void setContentSize(const QSize &size);
    QSize contentSize() const { return m_contentSize; }

    // Places the window by the anchor on the screen that holds it (else the primary one) and shows it.
    // Showing does not activate it; see activate().
    void showAt(const PopoverAnchor &anchor);
    const PopoverAnchor &anchor() const { return m_anchor; }

    // Raises the window and gives it the keyboard focus. Semitransient popovers refuse the focus.
    void activate();

signals:
    // The popover closed itself (transient ones only); closing it through close() does not emit this.
    void dismissed(brelta::platform::desktop::PopoverWindow::DismissReason reason);

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void place();
    void dismiss(DismissReason reason);
    bool ownsWindow(const QWidget *window) const;

    const Behaviour m_behaviour;
    QPointer<QWidget> m_root;
    QSize m_contentSize;
    PopoverAnchor m_anchor;
};

// The screen area a popover by `anchor` is kept inside: the available geometry of the screen that holds
// the anchor, or of the primary screen.
QRect availableAreaFor(const PopoverAnchor &anchor);

} // namespace brelta::platform::desktop
