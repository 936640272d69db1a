#include "designsystem/components/WidgetContainerView.h"

#include "designsystem/components/Banners.h"
#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/TextView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace brelta::designsystem {

namespace {
constexpr int kBackButtonSpacing = 12;
} // namespace

// The chevron turned to point back, or the spinner, in a fixed square.
class PanelBackButton::Indicator : public QWidget
{
public:
    explicit Indicator(QWidget *parent) : QWidget(parent), m_spinner(this)
    {
        setFixedSize(indicatorSide, indicatorSide);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setLoading(bool loading)
    {
        m_loading = loading;
        m_spinner.setActive(loading);
        update();
    }
    bool isSpinning() const { return m_spinner.isRunning(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        if (m_loading) {
            Spinner::paint(painter, centre, Spinner::naturalDiameter * loaderScale, Colors::gray100(),
                           m_spinner.phase());
            return;
        }
        const int side = Icons::points(IconSize::Medium);
        const QImage icon = Icons::image(IconName::Chevron, side, Colors::gray100(), devicePixelRatioF());
        // Half a turn about the centre: the kit's chevron points forward.
        painter.translate(centre);
        painter.rotate(layoutDirection() == Qt::RightToLeft ? 0 : 180);
        painter.drawImage(QRectF(-side / 2.0, -side / 2.0, side, side), icon);
    }

private:
    Spinner m_spinner;
    bool m_loading = false;
};

PanelBackButton::PanelBackButton(const QString &title, QWidget *parent)
    : KitButton(parent)
    , m_indicator(new Indicator(this))
    , m_title(new HeadingView(title, HeadingSize::H3, Colors::gray100(), this))
{
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kBackButtonSpacing);
    row->addWidget(m_indicator, 0, Qt::AlignVCenter);
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(title);
}

QString PanelBackButton::title() const
{
    return m_title->text();
}

void PanelBackButton::setLoading(bool loading)
{
    m_loading = loading;
    m_indicator->setLoading(loading);
    setEnabled(!loading);
}

void PanelBackButton::paintEvent(QPaintEvent *)
{
    // The indicator and the title draw themselves; the button adds only the keyboard focus ring.
    if (hasKeyboardFocus()) {
        QPainter painter(this);
        kit::drawFocusRing(painter, QRectF(rect()), 8);
    }
}

WidgetContainerView::WidgetContainerView(const QString &backButtonTitle, QWidget *content, QWidget *parent)
    : QWidget(parent)
    , m_back(new PanelBackButton(backButtonTitle, this))
    , m_content(content)
    , m_header(new QHBoxLayout)
{
    setFixedSize(panelWidth, panelHeight);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(0);
    m_header->setContentsMargins(0, 0, 0, 0);
    m_header->addWidget(m_back);
    m_header->addStretch();
    column->addLayout(m_header);
    column->addSpacing(headerGap);
    if (content)
        column->addWidget(content);
    // The content decides how it fills the rest; it is never scrolled here.
    column->addStretch();
    connect(m_back, &QAbstractButton::clicked, this, &WidgetContainerView::backPressed);
}

std::optional<QString> WidgetContainerView::error() const
{
    return m_errorBanner ? std::optional(m_errorBanner->message()) : std::nullopt;
}

void WidgetContainerView::setError(const std::optional<QString> &error)
{
    if (!error) {
        delete m_errorBanner;
    } else if (m_errorBanner) {
        m_errorBanner->setMessage(*error);
    } else {
        m_errorBanner = new ErrorBanner(*error, {}, this);
        m_errorBanner->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    }
    rebuildHeaderEnd();
}

void WidgetContainerView::setHeaderRight(QWidget *control)
{
    if (m_headerRight != control)
        delete m_headerRight;
    m_headerRight = control;
    if (control)
        control->setParent(this);
    rebuildHeaderEnd();
}

void WidgetContainerView::rebuildHeaderEnd()
{
    // Back button, then for each of the banner and the control that are there, a spacer and the part.
    while (m_header->count() > 1)
        delete m_header->takeAt(1);
    for (QWidget *part : {static_cast<QWidget *>(m_errorBanner.data()), m_headerRight.data()}) {
        if (!part)
            continue;
        m_header->addStretch();
        m_header->addWidget(part, 0, Qt::AlignVCenter);
        part->show();
    }
    if (m_header->count() == 1)
        m_header->addStretch();
}

} // namespace brelta::designsystem
