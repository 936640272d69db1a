#include "screens/settings/SettingsWidgetView.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandDropdownMenu.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/KitButton.h"
#include "designsystem/components/LoaderView.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/foundation/Typography.h"
#include "designsystem/layout/FlexibleView.h"
#include "platform/Clock.h"
#include "platform/update/AppVersion.h"
#include "platform/update/UpdateChecker.h"
#include "recording/session/AudioRecorderManager.h"
#include "screens/WebAddress.h"
#include "screens/settings/CalendarConnection.h"
#include "screens/settings/GoalChip.h"
#include "screens/settings/SettingsBlock.h"
#include "screens/settings/SettingsWidgetViewModel.h"

#include <QDesktopServices>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <QCoroTask>

namespace brelta::screens {

Q_LOGGING_CATEGORY(lcSettingsView, "brelta.screens.SettingsWidgetView")

using namespace designsystem;
namespace event = analytics::event;

// The warning above the privacy switch while privacy control is off: a dark bubble with a pointer at its
// trailing end. It floats over the card's texts and takes no room in the layout.
class PrivacyTooltip : public QWidget
{
public:
    static constexpr int kWidth = 260;

    explicit PrivacyTooltip(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        auto *icon = new IconView(IconName::Warning, IconSize::Medium, this);
        auto *text = new BodyView(SettingsWidgetView::kTooltipText, BodySize::Small, BodyWeight::Regular,
                                  Colors::gray100(), this);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(16, 8, 16, 8 + kPointerDepth);
        layout->setSpacing(16);
        layout->addWidget(icon, 0, Qt::AlignVCenter);
        layout->addWidget(text, 1);
        setFixedWidth(kWidth);
        setFixedHeight(layout->heightForWidth(kWidth));
    }

    // How far the pointer reaches below the bubble.
    static constexpr int kPointerDepth = 8;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bubble(0, 0, width(), height() - kPointerDepth);
        QPainterPath path;
        path.addRoundedRect(bubble, 8, 8);
        // A square turned by 45° whose lower corner points down out of the bubble's trailing end.
        const qreal centreX = layoutDirection() == Qt::RightToLeft ? 26 : width() - 26;
        QPainterPath pointer;
        pointer.moveTo(centreX - kPointerDepth - 2, bubble.bottom() - 2);
        pointer.lineTo(centreX + kPointerDepth + 2, bubble.bottom() - 2);
        pointer.lineTo(centreX, bubble.bottom() + kPointerDepth);
        pointer.closeSubpath();
        painter.fillPath(path.united(pointer), Colors::gray800());
    }
};

namespace {

QString goalsText(const QStringList &goals)
{
    return goals.join(QLatin1Char(','));
}

} // namespace

SettingsWidgetView::SettingsWidgetView(Dependencies dependencies, QWidget *parent)
    : QWidget(parent)
    , m_deps(std::move(dependencies))
    , m_pages(new QStackedLayout(this))
    , m_scrollTimer(m_deps.clock->createTimer())
{
    m_firstLoadPage = buildFirstLoadPage();
    m_errorPage = buildErrorPage();
    m_pages->addWidget(m_firstLoadPage);
    m_pages->addWidget(m_errorPage);
    m_pages->addWidget(buildList());

    SettingsWidgetViewModel *model = m_deps.model;
    connect(model, &SettingsWidgetViewModel::loadingChanged, this, &SettingsWidgetView::refreshPage);
    connect(model, &SettingsWidgetViewModel::goalsChanged, this, &SettingsWidgetView::refreshGoals);
    connect(model, &SettingsWidgetViewModel::languagesChanged, this, &SettingsWidgetView::refreshLanguages);
    connect(model, &SettingsWidgetViewModel::changeLoadingChanged, this, &SettingsWidgetView::refreshHeader);
    connect(model, &SettingsWidgetViewModel::errorLoadingChangeChanged, this, &SettingsWidgetView::refreshHeader);
    connect(model, &SettingsWidgetViewModel::useWebViewRecorderChanged, this, &SettingsWidgetView::refreshPrivacy);
    connect(model, &SettingsWidgetViewModel::tooltipShownChanged, this, &SettingsWidgetView::refreshPrivacy);
    if (m_deps.calendar)
        connect(m_deps.calendar, &CalendarConnection::changed, this, &SettingsWidgetView::refreshCalendar);
    if (m_deps.recorder)
        connect(m_deps.recorder, &recording::AudioRecorderManager::recordingStateChanged, this,
                &SettingsWidgetView::refreshRecordingLock);
    connect(m_scrollTimer.get(), &platform::Timer::timeout, this, &SettingsWidgetView::scrollToPrivacy);

    refreshPage();
    refreshCalendar();
    refreshLanguages();
    refreshGoals();
    refreshPrivacy();
    refreshRecordingLock();
}

SettingsWidgetView::~SettingsWidgetView() = default;

QUrl SettingsWidgetView::privacyPolicyUrl(const QUrl &webBase)
{
    return web::pageAt(webBase, kPrivacyPolicyPath);
}

void SettingsWidgetView::setContainer(WidgetContainerView *container)
{
    m_container = container;
    refreshHeader();
}

BrandButton *SettingsWidgetView::calendarButton() const
{
    return m_disconnectButton->isVisibleTo(m_calendarBlock) ? m_disconnectButton : m_connectButton;
}

QWidget *SettingsWidgetView::privacyTooltip() const
{
    return m_tooltip;
}

SettingsWidgetView::Page SettingsWidgetView::shownPage() const
{
    if (m_pages->currentWidget() == m_firstLoadPage)
        return Page::FirstLoad;
    if (m_pages->currentWidget() == m_errorPage)
        return Page::LoadError;
    return Page::List;
}

// Pages -------------------------------------------------------------------------------------------------

QWidget *SettingsWidgetView::buildFirstLoadPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 15, 0, 0);
    layout->addWidget(new LoaderView(page), 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

QWidget *SettingsWidgetView::buildErrorPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new ErrorBanner(kLoadErrorText, {}, page));
    layout->addSpacing(12);
    m_tryAgain = new BrandButton(QStringLiteral("Try again"), std::nullopt, BrandButton::Type::Text,
                                 BrandButton::Shape::Smooth, BrandButton::Size::Tiny, page);
    layout->addWidget(m_tryAgain, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    connect(m_tryAgain, &BrandButton::clicked, this, [this] { m_deps.model->loadPreferences(); });
    return page;
}

QWidget *SettingsWidgetView::buildList()
{
    auto *list = new QWidget;
    auto *layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    // A button's type is fixed when it is made, so connected and not connected each have their own.
    auto *calendarRow = new QWidget;
    calendarRow->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *calendarLayout = new QHBoxLayout(calendarRow);
    calendarLayout->setContentsMargins(0, 0, 0, 0);
    m_connectButton =
        new BrandButton(QStringLiteral("Connect Google Calendar"), IconName::GoogleCalendar, BrandButton::Type::Primary,
                        BrandButton::Shape::Pill, BrandButton::Size::Small, calendarRow);
    m_disconnectButton =
        new BrandButton(QStringLiteral("Disconnect Google Calendar"), IconName::GoogleCalendar,
                        BrandButton::Type::Secondary, BrandButton::Shape::Pill, BrandButton::Size::Small, calendarRow);
    calendarLayout->addWidget(m_connectButton);
    calendarLayout->addWidget(m_disconnectButton);
    calendarLayout->addStretch(1);
    connect(m_connectButton, &BrandButton::clicked, this, &SettingsWidgetView::pressCalendarButton);
    connect(m_disconnectButton, &BrandButton::clicked, this, &SettingsWidgetView::pressCalendarButton);
    m_calendarBlock = new SettingsBlock(QStringLiteral("Calendar sync"), QString(), calendarRow, m_deps.clock);

    m_languageMenu = new BrandDropdownMenu;
    connect(m_languageMenu, &BrandDropdownMenu::itemChosen, this, [this](int index) {
        const auto &languages = m_deps.model->availableLanguages();
        if (index >= 0 && index < int(languages.size()))
            m_deps.model->selectLanguage(languages.at(index));
    });
    m_languageBlock = new SettingsBlock(QStringLiteral("Select language"),
                                        QStringLiteral("Which language to receive your feedback and coaching in."),
                                        m_languageMenu, m_deps.clock);

    m_privacyBlock = new SettingsBlock(QStringLiteral("Privacy control"),
                                       QStringLiteral("When turned on, Brelta only listens to your voice in video "
                                                      "meetings."),
                                       buildPrivacyContent(), m_deps.clock);
    m_tooltip = new PrivacyTooltip(m_privacyBlock);
    m_tooltip->hide();

    m_goalsArea = new QWidget;
    new FlexibleView(2, Qt::AlignLeading, m_goalsArea);
    m_goalsArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_goalsBlock = new SettingsBlock(QStringLiteral("Select goals"), QStringLiteral("Choose up to three goals."),
                                     m_goalsArea, m_deps.clock);

    m_accountBlock =
        new SettingsBlock(QStringLiteral("Account information"), QStringLiteral("Email: "), nullptr, m_deps.clock);

    m_privacyPolicyButton =
        new BrandButton(QStringLiteral("Privacy policy"), IconName::ExternalLink, BrandButton::Type::Text,
                        BrandButton::Shape::Smooth, BrandButton::Size::Small);
    m_privacyPolicyButton->setFixedHeight(15);
    connect(m_privacyPolicyButton, &BrandButton::clicked, this, [this] {
        const QUrl page = privacyPolicyUrl(m_deps.webBase);
        if (page.isValid())
            open(page);
        else
            qCWarning(lcSettingsView) << "no privacy-policy page: the web address is not usable";
    });
    auto *policyBlock = new SettingsBlock(QStringLiteral("Privacy Policy"),
                                          QStringLiteral("We care about your privacy, read our policy here"),
                                          m_privacyPolicyButton, m_deps.clock);

    m_versionBlock = new SettingsBlock(QStringLiteral("Version information"),
                                       QStringLiteral("Current version: ") + platform::update::currentVersion(),
                                       buildVersionContent(), m_deps.clock);

    for (SettingsBlock *block :
         {m_calendarBlock, m_languageBlock, m_privacyBlock, m_goalsBlock, m_accountBlock, policyBlock, m_versionBlock})
        layout->addWidget(block);
    layout->addSpacing(12);
    layout->addStretch(1);
    // The calendar and language cards come first in the stacking order's top: an open language menu draws
    // over the cards below it.
    m_languageBlock->raise();
    m_calendarBlock->raise();

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    // The cards sit on the popover's background: nothing of the scroll area paints.
    QPalette clear = m_scroll->palette();
    clear.setColor(QPalette::Window, Qt::transparent);
    clear.setColor(QPalette::Base, Qt::transparent);
    m_scroll->setPalette(clear);
    m_scroll->viewport()->setPalette(clear);
    list->setPalette(clear);
    // Texts wrap to the panel's width rather than widening the list.
    list->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_scroll->setWidget(list);

    // The list fades out over its last 5 %.
    auto *fade = new QGraphicsOpacityEffect(m_scroll);
    QLinearGradient mask(0, 0, 0, 1);
    mask.setCoordinateMode(QGradient::ObjectMode);
    mask.setColorAt(0.95, Qt::black);
    mask.setColorAt(1.0, Qt::transparent);
    fade->setOpacityMask(QBrush(mask));
    m_scroll->setGraphicsEffect(fade);
    return m_scroll;
}

QWidget *SettingsWidgetView::buildPrivacyContent()
{
    auto *content = new QWidget;
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stopRecordingNote =
        new BodyView(kStopRecordingText, BodySize::Small, BodyWeight::Regular, Colors::gray100(), content);
    m_privacySwitch = new BrandToggle(QStringLiteral("Only listen to my voice"), true, content);
    layout->addWidget(m_stopRecordingNote);
    layout->addWidget(m_privacySwitch);
    connect(m_privacySwitch, &BrandToggle::toggled, this, &SettingsWidgetView::switchPrivacy);
    return content;
}

QWidget *SettingsWidgetView::buildVersionContent()
{
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    m_updateButton = new BrandButton(QStringLiteral("Check for updates"), std::nullopt, BrandButton::Type::Primary,
                                     BrandButton::Shape::Pill, BrandButton::Size::Small, content);
    m_updateStatus = new BodyView(QString(), BodySize::Small, BodyWeight::Regular, Colors::gray400(), content);
    m_updateStatus->hide();
    layout->addWidget(m_updateButton, 0, Qt::AlignLeading);
    layout->addWidget(m_updateStatus);
    connect(m_updateButton, &BrandButton::clicked, this, &SettingsWidgetView::checkForUpdates);
    return content;
}

// Showing -----------------------------------------------------------------------------------------------

void SettingsWidgetView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    const QString username = m_deps.username ? m_deps.username() : QString();
    m_accountBlock->setSubtitle(QStringLiteral("Email: ") + username);
    refreshCalendar();
    m_deps.model->loadPreferences();
    if (m_deps.analytics)
        m_deps.analytics->send(event::ScreenShown{.screenName = event::ScreenName::SettingsView});
}

void SettingsWidgetView::refreshPage()
{
    const SettingsWidgetViewModel *model = m_deps.model;
    // Later loads keep the list on screen: only the first one, before anything was shown, has a spinner.
    if (model->isLoading() && !model->hasLoadedOnce())
        m_pages->setCurrentWidget(m_firstLoadPage);
    else if (!model->isLoading() && model->errorLoading())
        m_pages->setCurrentWidget(m_errorPage);
    else if (model->hasLoadedOnce() || !model->isLoading())
        m_pages->setCurrentWidget(m_scroll);
}

void SettingsWidgetView::refreshHeader()
{
    if (!m_container)
        return;
    m_container->setLoading(m_deps.model->isChangeLoading());
    m_container->setError(m_deps.model->isErrorLoadingChange() ? std::optional<QString>(kSaveErrorText) : std::nullopt);
}

// Calendar ----------------------------------------------------------------------------------------------

void SettingsWidgetView::refreshCalendar()
{
    const bool synced = m_deps.calendar && m_deps.calendar->isSynced();
    if (synced) {
        const std::optional<QString> email = m_deps.calendar->accountEmail();
        m_calendarBlock->setSubtitle(email ? QStringLiteral("Connected calendar: ") + *email
                                           : QStringLiteral("Connected Google Calendar"));
    } else {
        m_calendarBlock->setSubtitle(QStringLiteral("No calendar connected."));
    }
    m_connectButton->setVisible(!synced);
    m_disconnectButton->setVisible(synced);
}

void SettingsWidgetView::pressCalendarButton()
{
    const bool synced = m_deps.calendar && m_deps.calendar->isSynced();
    if (m_deps.analytics)
        m_deps.analytics->send(event::InteractionTaken{
            .screenName = event::ScreenName::SettingsView,
            .interactionType = event::InteractionType::Click,
            .componentName = synced ? event::ComponentName::DisconnectGoogleCalendarButton
                                    : event::ComponentName::ConnectGoogleCalendarButton,
        });
    if (!m_deps.calendar) {
        qCWarning(lcSettingsView) << "no calendar in this build";
        return;
    }
    // Read again: the event above must not decide what happens.
    if (m_deps.calendar->isSynced())
        m_deps.calendar->disconnectCalendar();
    else
        m_deps.calendar->connectCalendar();
    refreshCalendar();
}

// Language and goals ------------------------------------------------------------------------------------

void SettingsWidgetView::refreshLanguages()
{
    const SettingsWidgetViewModel *model = m_deps.model;
    const auto &languages = model->availableLanguages();
    const auto &selected = model->selectedLanguage();
    m_languageBlock->setVisible(selected.has_value() && !languages.empty());
    QStringList titles;
    int selectedIndex = -1;
    for (const auto &language : languages) {
        if (selected && language == *selected)
            selectedIndex = int(titles.size());
        titles << language.nameInEnglish;
    }
    m_languageMenu->setItemTitles(titles);
    m_languageMenu->setSelection(selectedIndex, selected ? selected->nameInEnglish : QString());
}

void SettingsWidgetView::refreshGoals()
{
    const SettingsWidgetViewModel *model = m_deps.model;
    auto *flow = m_goalsArea->layout();
    qDeleteAll(m_chips);
    m_chips.clear();
    const QStringList &selected = model->selectedGoals();
    const bool full = selected.size() >= SettingsWidgetViewModel::kMaxGoals;
    for (const auto &goal : model->availableGoals()) {
        const bool isSelected = selected.contains(goal.goal);
        auto *chip = new GoalChip(goal.humanReadableGoalName, GoalChip::Style::Settings, m_goalsArea);
        chip->setSelected(isSelected);
        chip->setEnabled(isSelected || !full);
        connect(chip, &GoalChip::clicked, this, [this, goal] { m_deps.model->toggleGoal(goal); });
        flow->addWidget(chip);
        m_chips << chip;
    }
    qCDebug(lcSettingsView) << "goals shown:" << goalsText(selected);
    m_goalsArea->updateGeometry();
}

// Privacy control ---------------------------------------------------------------------------------------

void SettingsWidgetView::refreshPrivacy()
{
    const QSignalBlocker quiet(m_privacySwitch);
    m_privacySwitch->setChecked(m_deps.model->isUseWebViewRecorder());
    const bool shown = m_deps.model->isEchoCancellationTooltipShown();
    if (shown) {
        // Its vertical centre 36 above the switch row, at the trailing edge, over the card's texts.
        const QRect row(m_privacySwitch->mapTo(m_privacyBlock, QPoint(0, 0)), m_privacySwitch->size());
        const int x = layoutDirection() == Qt::RightToLeft ? row.left() : row.right() + 1 - m_tooltip->width();
        m_tooltip->move(x, row.top() - 36 - m_tooltip->height() / 2);
        m_tooltip->raise();
    }
    m_tooltip->setVisible(shown);
}

void SettingsWidgetView::refreshRecordingLock()
{
    const bool locked = m_deps.recorder && m_deps.recorder->recordingState() != recording::AudioRecordingState::Stopped;
    m_stopRecordingNote->setVisible(locked);
    // The kit's disabled look dims the switch; a graphics effect would misplace it inside the scroll area.
    m_privacySwitch->setEnabled(!locked);
    refreshPrivacy();
}

void SettingsWidgetView::switchPrivacy(bool on)
{
    if (m_stopRecordingNote->isVisible()) {
        refreshPrivacy();
        return;
    }
    // A choice that could not be stored must not look stored: the switch goes back, no tooltip shows and
    // the model has put the error into the header.
    if (!m_deps.model->setUseWebViewRecorder(on)) {
        refreshPrivacy();
        return;
    }
    m_deps.model->setEchoCancellationTooltip(on);
    refreshPrivacy();
}

// Updates and focus -------------------------------------------------------------------------------------

void SettingsWidgetView::checkForUpdates()
{
    if (m_checkingUpdates)
        return;
    m_checkingUpdates = true;
    m_updateButton->setLoading(true);
    auto run = [](QPointer<SettingsWidgetView> view, QNetworkAccessManager *network) -> QCoro::Task<> {
        platform::update::UpdateCheckResult result;
        if (!network) {
            result.status = platform::update::UpdateCheckResult::Status::NotConfigured;
        } else {
            platform::update::UpdateChecker checker(network);
            QCoro::Task<platform::update::UpdateCheckResult> check = checker.check();
            result = co_await std::move(check);
        }
        if (!view)
            co_return;
        using Status = platform::update::UpdateCheckResult::Status;
        QString text;
        switch (result.status) {
        case Status::UpToDate:
            text = QStringLiteral("Brelta is up to date.");
            break;
        case Status::NewerAvailable:
            text = QStringLiteral("Version %1 is available.").arg(result.latestVersion);
            if (!result.page.isEmpty())
                view->open(result.page);
            break;
        case Status::NotConfigured:
            text = QStringLiteral("Updates come with your system's package manager.");
            break;
        case Status::Failed:
            qCWarning(lcSettingsView) << "update check failed:" << result.error;
            text = QStringLiteral("Could not check for updates. Please try again later.");
            break;
        }
        view->m_updateStatus->setText(text);
        view->m_updateStatus->show();
        view->m_updateButton->setLoading(false);
        view->m_checkingUpdates = false;
    };
    run(QPointer<SettingsWidgetView>(this), m_deps.network);
}

void SettingsWidgetView::focusPrivacySettings()
{
    // Both delays run on timers the panel owns, so nothing fires on a panel that is gone.
    m_scrollTimer->start(kFocusScrollDelay, platform::Timer::Mode::SingleShot);
    m_privacyBlock->runFocusHighlight();
}

void SettingsWidgetView::scrollToPrivacy()
{
    m_scroll->verticalScrollBar()->setValue(m_privacyBlock->y());
}

bool SettingsWidgetView::open(const QUrl &url) const
{
    return m_deps.openUrl ? m_deps.openUrl(url) : QDesktopServices::openUrl(url);
}

} // namespace brelta::screens
