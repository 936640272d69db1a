#pragma once

#include <QAbstractButton>
#include <QAccessible>

namespace brelta::designsystem {

// The base of the kit's pressable controls. Tab reaches it, Space and Enter press it, a ring shows while
// it has keyboard focus (a click leaves none behind), and assistive technology sees its role and name.
// Titles are never given to QAbstractButton::setText: that would read "&" as a mnemonic. Subclasses keep
// their text themselves, draw it verbatim and set the accessible name to it.
class KitButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit KitButton(QWidget *parent = nullptr);

    // What the control is to assistive technology; a plain button unless a subclass says otherwise.
    virtual QAccessible::Role accessibleRole() const { return QAccessible::Button; }
    // The accessible value (the chosen entry of a dropdown); none for most controls.
    virtual QString accessibleValue() const { return {}; }

protected:
    bool hasKeyboardFocus() const { return m_keyboardFocus; }
    // How opaque to draw: dimmed while disabled, a little while held down.
    qreal stateOpacity() const { return !isEnabled() ? 0.4 : isDown() ? 0.8 : 1.0; }

    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_keyboardFocus = false;
};

} // namespace brelta::designsystem
