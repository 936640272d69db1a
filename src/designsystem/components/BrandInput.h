#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;

namespace brelta::designsystem {

class BodyView;
class KitButton;
class PlaceholderStack;

// The kit's single-line entry field, for plain text or a password: a rounded box 48 px high in which the
// label stands while the field is empty, with a border while it has keyboard focus and the error look
// when the caller says so. The caller owns the text and the verdict: the field only hands the text to
// the validation hook, first when it loses focus with some text, then (or from the first keystroke with
// setShouldValidateEachChange) on every change. Return runs the submit hook.
//
// A password stays out of the clipboard and away from assistive technology while hidden, and input
// methods are told it is sensitive (no prediction, no learning) whether it is hidden or revealed.
class BrandInput : public QWidget
{
    Q_OBJECT

public:
    enum class Type { Text, Password };

    static constexpr int fieldHeight = 48;

    BrandInput(const QString &label, Type type, QWidget *parent = nullptr);

    QString label() const { return m_label; }
    Type type() const { return m_type; }

    QString text() const;
    void setText(const QString &text);

    bool hasError() const { return m_error; }
    void setError(bool error);

    bool shouldValidateEachChange() const { return m_validateEachChange; }
    void setShouldValidateEachChange(bool validate);
    // No hook: the field never validates.
    void setOnValidate(std::function<void(const QString &)> onValidate);
    // No hook: Return does nothing.
    void setOnSubmit(std::function<void()> onSubmit);

    bool isFocused() const { return m_focused; }
    bool hasValidatedInitially() const { return m_validatedInitially; }
    // The password is shown in plain text.
    bool isRevealed() const { return m_revealed; }

    QLineEdit *field() const { return m_field; }
    // The eye button of a password field; null for a text field.
    KitButton *revealButton() const { return m_reveal; }

    QSize sizeHint() const override;

signals:
    void textChanged(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setFocused(bool focused);
    void onTextChanged(const QString &text);
    void setRevealed(bool revealed);

    QString m_label;
    Type m_type;
    QLineEdit *m_field;
    BodyView *m_hint;
    PlaceholderStack *m_stack;
    KitButton *m_reveal = nullptr;
    std::function<void(const QString &)> m_onValidate;
    std::function<void()> m_onSubmit;
    bool m_error = false;
    bool m_validateEachChange = false;
    bool m_focused = false;
    bool m_validatedInitially = false;
    bool m_revealed = false;
};

} // namespace brelta::designsystem
