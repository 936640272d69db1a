#include "shell/MainView.h"

#include "designsystem/components/BrandMenu.h"
#include "designsystem/components/HighlightBlurView.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "shell/CalendarSyncState.h"
#include "shell/RecorderView.h"
#include "shell/popovers/PlaceholderRoots.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QPainter>
#include <QPropertyAnimation>
#include <QSvgRenderer>
#include <QUrlQuery>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMainView, "brelta.shell.MainView")

namespace brelta::shell {

namespace {

using designsystem::Colors;
using designsystem::IconButton;
using designsystem::IconName;

constexpr int kPanelPadding = 16;
constexpr int kPanelSpacing = 24;
constexpr int kHeaderSpacing = 4;
constexpr int kLogoWidth = 56;
constexpr QSize kGlowSize{250, 95};
constexpr int kGlowOffsetX = -40;
constexpr qreal kGlowOpacity = 0.75;
constexpr int kDotSide = 10;
constexpr QPoint kDotOffset{-2, 4};
constexpr QSize kSecondaryPanelSize{designsystem::WidgetContainerView::panelWidth,
                                    designsystem::WidgetContainerView::panelHeight};

// The logo, stretched to its width with its aspect ratio kept.
class LogoView : public QWidget
{
public:
    explicit LogoView(QWidget *parent) : QWidget(parent), m_svg(QStringLiteral(":/shell/brelta.svg"))
    {
        const QSizeF natural = m_svg.defaultSize();
        const int height = natural.isEmpty() ? kLogoWidth : qRound(kLogoWidth * natural.height() / natural.width());
        setFixedSize(kLogoWidth, height);
        setAccessibleName(QStringLiteral("Brelta"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        m_svg.setAspectRatioMode(Qt::KeepAspectRatio);
        m_svg.render(&painter, QRectF(rect()));
    }

private:
    QSvgRenderer m_svg;
};

// A Negative dot that lets every click through to the button under it.
class Dot : public QWidget
{
public:
    explicit Dot(QWidget *parent) : QWidget(parent)
    {
        setFixedSize(kDotSide, kDotSide);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Colors::negative());
        painter.drawEllipse(QRectF(rect()));
    }
};

std::size_t index(MainViewMode mode)
{
    return static_cast<std::size_t>(mode);
}

} // namespace

QUrl MainView::insightsUrl(const QString &webApplicationBase, const QString &username)
{
    QUrl url(webApplicationBase, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        return {};
    url.setPath(url.path() + QStringLiteral("/coach/sessions"));
    if (!username.isEmpty()) {
        // Encoded as a query value: "+" would read as a space and "&" would start another field.
        const QByteArray value = QUrl::toPercentEncoding(username);
        url.setQuery(QStringLiteral("account=") + QString::fromLatin1(value), QUrl::StrictMode);
    }
    return url;
}

MainView::MainView(MainViewViewModel *viewModel, RecorderView *recorder, MainViewActions actions,
                   CalendarSyncState *calendar, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_actions(std::move(actions))
    , m_calendar(calendar)
    , m_glow(new designsystem::HighlightBlurView(kGlowSize.width(), kGlowSize.height(), this))
{
    setObjectName(QStringLiteral("mainView"));
    m_glow->setGeometry(QRect(QPoint(kGlowOffsetX, 0), kGlowSize));
    if (QWidget *layer = m_glow->glowLayer()) {
        auto *opacity = new QGraphicsOpacityEffect(layer);
        opacity->setOpacity(kGlowOpacity);
        layer->setGraphicsEffect(opacity);
    }

    m_panels[index(MainViewMode::Recording)] = buildRecordingPanel(recorder);
    m_panels[index(MainViewMode::Settings)] =
        buildPlaceholderPanel(QStringLiteral("Settings"), QStringLiteral("Your settings will be here."));
    m_panels[index(MainViewMode::Notifications)] =
        buildPlaceholderPanel(QStringLiteral("Notifications"), QStringLiteral("Your past messages will be here."));
    m_panels[index(MainViewMode::Calendar)] =
        buildPlaceholderPanel(QStringLiteral("Meetings"), QStringLiteral("Today's meetings will be here."));
    m_panels[index(MainViewMode::Settings)]->setObjectName(QStringLiteral("settingsPanel"));
    m_panels[index(MainViewMode::Notifications)]->setObjectName(QStringLiteral("notificationsPanel"));
    m_panels[index(MainViewMode::Calendar)]->setObjectName(QStringLiteral("calendarPanel"));

    connect(m_viewModel, &MainViewViewModel::currentModeChanged, this, &MainView::showPanel);
    if (m_calendar)
        connect(m_calendar, &CalendarSyncState::syncedChanged, this, &MainView::updateCalendarDot);
    updateCalendarDot();
    showPanel(m_viewModel->currentMode(), false);
}

MainView::~MainView() = default;

QWidget *MainView::panel(MainViewMode mode) const
{
    return m_panels[index(mode)];
}

QWidget *MainView::buildRecordingPanel(RecorderView *recorder)
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("recordingPanel"));
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
    column->setSpacing(kPanelSpacing);
    QWidget *header = buildHeader();
    header->setParent(panel);
    column->addWidget(header);
    recorder->setParent(panel);
    column->addWidget(recorder);
    column->addStretch();
    // The header lies above the recorder, so its open menu does too.
    header->raise();
    return panel;
}

QWidget *MainView::buildHeader()
{
    auto *header = new QWidget;
    header->setObjectName(QStringLiteral("mainHeader"));
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kHeaderSpacing);
    row->addWidget(new LogoView(header), 0, Qt::AlignVCenter);
    row->addStretch();

    // The meetings button carries the dot while the calendar is not synced.
    auto *calendarHolder = new QWidget(header);
    auto *calendar = new IconButton(IconName::Calendar, IconButton::Size::Medium, Colors::overlay10(), calendarHolder);
    calendar->setObjectName(QStringLiteral("calendarButton"));
    calendar->setAccessibleName(QStringLiteral("Meetings"));
    calendarHolder->setFixedSize(calendar->sizeHint());
    m_calendarDot = new Dot(calendarHolder);
    m_calendarDot->setObjectName(QStringLiteral("calendarDot"));
    m_calendarDot->move(calendarHolder->width() - kDotSide + kDotOffset.x(), kDotOffset.y());
    m_calendarDot->raise();
    row->addWidget(calendarHolder, 0, Qt::AlignVCenter);

    auto *bell = new IconButton(IconName::Bell, IconButton::Size::Medium, Colors::overlay10(), header);
    bell->setObjectName(QStringLiteral("notificationsButton"));
    bell->setAccessibleName(QStringLiteral("Notifications"));
    row->addWidget(bell, 0, Qt::AlignVCenter);
    auto *settings = new IconButton(IconName::Settings, IconButton::Size::Medium, Colors::overlay10(), header);
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setAccessibleName(QStringLiteral("Settings"));
    row->addWidget(settings, 0, Qt::AlignVCenter);

    m_menu = new designsystem::BrandMenuButton(header);
    m_menu->setObjectName(QStringLiteral("menuButton"));
    m_menu->addItem(QStringLiteral("Your Insights"), IconName::ExternalLink, [this] { openInsights(); });
    m_menu->addItem(QStringLiteral("Sign Out"), std::nullopt, [this] {
        if (m_actions.signOut)
            m_actions.signOut();
    });
    m_menu->addItem(QStringLiteral("Quit Brelta"), std::nullopt, [this] {
        if (m_actions.quit)
            m_actions.quit();
    });
    row->addWidget(m_menu, 0, Qt::AlignVCenter);

    MainViewViewModel *vm = m_viewModel;
    connect(calendar, &QAbstractButton::clicked, this, [vm] { vm->switchMode(MainViewMode::Calendar, true); });
    connect(bell, &QAbstractButton::clicked, this, [vm] { vm->switchMode(MainViewMode::Notifications, true); });
    connect(settings, &QAbstractButton::clicked, this, [vm] { vm->switchMode(MainViewMode::Settings, true); });
    return header;
}

designsystem::WidgetContainerView *MainView::buildPlaceholderPanel(const QString &title, const QString &note)
{
    auto *content = new designsystem::BodyView(note, designsystem::BodySize::Small, designsystem::BodyWeight::Regular,
                                               Colors::gray400());
    return buildPanel(title, content);
}

designsystem::WidgetContainerView *MainView::buildPanel(const QString &title, QWidget *content)
{
    auto *panel = new designsystem::WidgetContainerView(title, content, this);
    MainViewViewModel *vm = m_viewModel;
    connect(panel, &designsystem::WidgetContainerView::backPressed, this,
            [vm] { vm->switchMode(MainViewMode::Recording, true); });
    return panel;
}

designsystem::WidgetContainerView *MainView::setPanelContent(MainViewMode mode, const QString &title, QWidget *content)
{
    Q_ASSERT(mode != MainViewMode::Recording);
    QWidget *&slot = m_panels[index(mode)];
    const QString name = slot->objectName();
    delete slot;
    designsystem::WidgetContainerView *panel = buildPanel(title, content);
    panel->setObjectName(name);
    slot = panel;
    showPanel(m_viewModel->currentMode(), false);
    return panel;
}

void MainView::openInsights()
{
    const QString username = m_actions.username ? m_actions.username() : QString();
    const QUrl url = insightsUrl(m_actions.webApplicationBase, username);
    if (!url.isValid()) {
        qCWarning(lcMainView).noquote() << "no web application address in this build (" << m_actions.webApplicationBase
                                        << "); nothing to open";
        return;
    }
    if (m_actions.openUrl && !m_actions.openUrl(url))
        qCWarning(lcMainView) << "the browser could not be asked to open the sessions page";
    if (m_actions.closePopover)
        m_actions.closePopover();
}

void MainView::showPanel(MainViewMode mode, bool animated)
{
    QWidget *shown = panel(mode);
    for (QWidget *candidate : m_panels)
        candidate->setVisible(candidate == shown);
    // The glow belongs to the recording panel's header.
    m_glow->setVisible(mode == MainViewMode::Recording);
    placePanels();
    if (!animated || !isVisible())
        return;
    auto *fade = new QGraphicsOpacityEffect(shown);
    shown->setGraphicsEffect(fade);
    auto *animation = new QPropertyAnimation(fade, "opacity", fade);
    animation->setDuration(int(MainViewViewModel::kAnimationDuration.count()));
    animation->setEasingCurve(MainViewViewModel::easeInOut());
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    // Painting through the effect costs on every frame: drop it once faded in.
    connect(animation, &QAbstractAnimation::finished, shown, [shown] { shown->setGraphicsEffect(nullptr); });
    animation->start();
}

void MainView::placePanels()
{
    panel(MainViewMode::Recording)->setGeometry(rect());
    // The 400-high panels stay centred on the popover, also while it grows or shrinks around them.
    const QRect centred(
        QPoint((width() - kSecondaryPanelSize.width()) / 2, (height() - kSecondaryPanelSize.height()) / 2),
        kSecondaryPanelSize);
    for (const MainViewMode mode : {MainViewMode::Settings, MainViewMode::Notifications, MainViewMode::Calendar})
        panel(mode)->setGeometry(centred);
}

void MainView::updateCalendarDot()
{
    m_calendarDot->setVisible(!m_calendar || !m_calendar->isSynced());
}

void MainView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PopoverSurface::paintGround(painter, rect(), layoutDirection());
}

void MainView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placePanels();
}

} // namespace brelta::shell
