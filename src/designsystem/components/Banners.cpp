#include "designsystem/components/Banners.h"

#include "designsystem/components/KitButton.h"
#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"

#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace brelta::designsystem {

namespace {

constexpr int groupSpacing = 8;

QWidget *partyPopper()
{
    auto *emoji = new BodyView(QStringLiteral("\U0001F389"), BodySize::Small, BodyWeight::Regular, Colors::gray100());
    emoji->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return emoji;
}

// A plain button whose label is a line of bold small text, as the banner's "Try again".
class PlainTextButton : public KitButton
{
public:
    explicit PlainTextButton(const QString &text) : m_text(text)
    {
        setAccessibleName(text);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override
    {
        const QSizeF size = kit::lineSize(m_text, labelFont());
        return QSize(int(std::ceil(size.width())), int(std::ceil(size.height())));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setOpacity(stateOpacity());
        kit::drawLine(painter, rect(), m_text, labelFont(), Colors::gray100());
        if (hasKeyboardFocus())
            kit::drawFocusRing(painter, rect(), 4);
    }

    static QFont labelFont() { return Typography::bodyFont(BodySize::Small, BodyWeight::Bold); }

private:
    QString m_text;
};

} // namespace

Banner::Banner(const QColor &background, qreal opacity, QWidget *leading, const QString &message, QWidget *parent)
    : QWidget(parent)
    , m_background(background)
    , m_opacity(opacity)
    , m_row(new QHBoxLayout(this))
    , m_message(new BodyView(message, BodySize::Small, BodyWeight::Regular, Colors::gray100()))
{
    setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_row->setContentsMargins(16, 8, 16, 8);
    m_row->setSpacing(groupSpacing);
    m_row->addWidget(leading, 0, Qt::AlignVCenter);
    m_row->addWidget(m_message, 1, Qt::AlignVCenter);
    setAccessibleName(message);
}

QString Banner::message() const
{
    return m_message->text();
}

void Banner::setMessage(const QString &message)
{
    m_message->setText(message);
    setAccessibleName(message);
}

void Banner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    painter.fillPath(kit::roundedRect(rect(), 8), m_background);
}

ErrorBanner::ErrorBanner(const QString &errorMessage, std::function<void()> onTryAgain, QWidget *parent)
    : Banner(Colors::negative40(), 1.0, new IconView(IconName::Error, IconSize::Small), errorMessage, parent)
{
    if (!onTryAgain)
        return;
    m_tryAgain = new PlainTextButton(QStringLiteral("Try again"));
    connect(m_tryAgain, &QAbstractButton::clicked, this, [onTryAgain = std::move(onTryAgain)] { onTryAgain(); });
    row()->addWidget(m_tryAgain, 0, Qt::AlignVCenter);
}

SuccessBanner::SuccessBanner(const QString &message, QWidget *parent)
    : Banner(Colors::positive(), 0.6, partyPopper(), message, parent)
{}

} // namespace brelta::designsystem
