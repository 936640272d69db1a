#include "designsystem/components/BrandInput.h"

#include "designsystem/components/KitButton.h"
#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Fonts.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/foundation/ViewHelpers.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>

#include <cmath>

namespace brelta::designsystem {

namespace {

constexpr int iconSide = 16;
constexpr Qt::InputMethodHints sensitiveHints = Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase;

// The eye that shows or hides the password.
class RevealButton : public KitButton
{
public:
    RevealButton()
    {
        setFixedSize(iconSide, iconSide);
        setRevealed(false);
    }

    void setRevealed(bool revealed)
    {
        m_revealed = revealed;
        setAccessibleName(revealed ? QStringLiteral("Hide password") : QStringLiteral("Show password"));
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const qreal ratio = devicePixelRatioF();
        painter.drawImage(QPointF(0, 0), Icons::image(m_revealed ? IconName::EyeCrossed : IconName::Eye, iconSide,
                                                      Colors::gray400(), ratio));
        if (hasKeyboardFocus())
            kit::drawFocusRing(painter, rect(), 4);
    }

private:
    bool m_revealed = false;
};

// The label stands where typed text starts, which QLineEdit insets by a couple of pixels; a long label
// is cut by the field rather than widening it.
QWidget *insetHint(QWidget *hint)
{
    auto *inset = new QWidget;
    auto *layout = new QHBoxLayout(inset);
    layout->setContentsMargins(2, 0, 0, 0);
    layout->addWidget(hint);
    inset->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return inset;
}

// Masks a hidden password with bullets; the style's large circles lose part of the first one to the
// field's edge.
class BulletStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return 0x2022;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

BrandInput::BrandInput(const QString &label, Type type, QWidget *parent)
    : QWidget(parent)
    , m_label(label)
    , m_type(type)
    , m_field(new QLineEdit)
    , m_hint(new BodyView(label, BodySize::Medium, BodyWeight::Regular, Colors::gray400()))
    , m_stack(new PlaceholderStack(m_field, insetHint(m_hint), Qt::AlignLeft | Qt::AlignVCenter))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(fieldHeight);

    // The field draws no box of its own: the input's background and border show through it.
    m_field->setFrame(false);
    m_field->setFont(Fonts::fontOrFallback(QStringLiteral("Inter"), 14));
    m_field->setAccessibleName(label);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Highlight, Colors::brandPurple());
    palette.setColor(QPalette::HighlightedText, Colors::gray100());
    m_field->setPalette(palette);
    m_field->setAttribute(Qt::WA_TranslucentBackground);
    m_field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_field->installEventFilter(this);
    // A press anywhere in the box, the label or the padding, puts the caret in the field.
    setFocusProxy(m_field);
    setFocusPolicy(Qt::ClickFocus);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(8);
    row->addWidget(m_stack, 1);

    if (type == Type::Password) {
        m_field->setEchoMode(QLineEdit::Password);
        auto *style = new BulletStyle;
        style->setParent(m_field);
        m_field->setStyle(style);
        m_field->setInputMethodHints(m_field->inputMethodHints() | sensitiveHints);
        auto *reveal = new RevealButton;
        m_reveal = reveal;
        connect(reveal, &QAbstractButton::clicked, this, [this] { setRevealed(!m_revealed); });
        row->addWidget(reveal, 0, Qt::AlignVCenter);
    }

    connect(m_field, &QLineEdit::textChanged, this, &BrandInput::onTextChanged);
}

QString BrandInput::text() const
{
    return m_field->text();
}

void BrandInput::setText(const QString &text)
{
    if (text != m_field->text())
        m_field->setText(text);
}

void BrandInput::setError(bool error)
{
    m_error = error;
    update();
}

void BrandInput::setShouldValidateEachChange(bool validate)
{
    m_validateEachChange = validate;
}

void BrandInput::setOnValidate(std::function<void(const QString &)> onValidate)
{
    m_onValidate = std::move(onValidate);
}

void BrandInput::setOnSubmit(std::function<void()> onSubmit)
{
    m_onSubmit = std::move(onSubmit);
}

QSize BrandInput::sizeHint() const
{
    return QSize(240, fieldHeight);
}

bool BrandInput::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn:
        setFocused(true);
        break;
    case QEvent::FocusOut: {
        // A context menu or another window taking over leaves the field focused within its window.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            setFocused(false);
        break;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_onSubmit) {
            // Taken here so Return does not also reach a default button around the field.
            if (!key->isAutoRepeat())
                m_onSubmit();
            return true;
        }
        // A hidden password is never copied; QLineEdit would still delete it on Cut, so it is lost.
        if (m_field->echoMode() != QLineEdit::Normal
            && (key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Copy))) {
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

void BrandInput::setFocused(bool focused)
{
    if (focused == m_focused)
        return;
    m_focused = focused;
    update();
    if (!m_onValidate || focused || m_field->text().isEmpty())
        return;
    m_onValidate(m_field->text());
    m_validatedInitially = true;
}

void BrandInput::onTextChanged(const QString &text)
{
    m_stack->setHintShown(text.isEmpty());
    emit textChanged(text);
    if (m_onValidate && (m_validateEachChange || m_validatedInitially))
        m_onValidate(text);
}

void BrandInput::setRevealed(bool revealed)
{
    m_revealed = revealed;
    static_cast<RevealButton *>(m_reveal)->setRevealed(revealed);
    m_field->setEchoMode(revealed ? QLineEdit::Normal : QLineEdit::Password);
    // QLineEdit drops the sensitive hints in Normal mode; the text is still a password.
    m_field->setInputMethodHints(m_field->inputMethodHints() | sensitiveHints);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Text, revealed ? Colors::gray100() : QColor(Qt::white));
    m_field->setPalette(palette);
}

void BrandInput::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = rect();
    painter.fillPath(kit::roundedRect(box, 8), m_error ? Colors::negative10() : Colors::overlay10());
    if (m_error || m_focused) {
        painter.setPen(QPen(m_error ? Colors::negative() : Colors::gray600(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(kit::roundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 7.5));
    }
}

} // namespace brelta::designsystem
