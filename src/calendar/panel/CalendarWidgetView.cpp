#include "calendar/panel/CalendarWidgetView.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "calendar/CalendarManager.h"
#include "calendar/panel/EventView.h"
#include "calendar/panel/MeetingsShell.h"
#include "calendar/panel/SkeletonEventView.h"
#include "calendar/panel/Surface.h"
#include "designsystem/components/Banners.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/KitButton.h"
#include "designsystem/components/KitPainting.h"
#include "designsystem/components/WidgetContainerView.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Icons.h"
#include "designsystem/foundation/TextView.h"
#include "platform/Clock.h"
#include "platform/format/WebLink.h"
#include "platform/telemetry/ErrorTracker.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

Q_LOGGING_CATEGORY(lcCalendarWidgetView, "brelta.calendar.CalendarWidgetView")

namespace brelta::calendar {

using namespace designsystem;
using recording::AudioRecordingState;
namespace event = analytics::event;

namespace {

constexpr int kPlaceholderRows = 4;

// "Refresh" in the panel's header: a small pill with the refresh icon.
class RefreshButton : public KitButton
{
public:
    static constexpr int kIconSide = 12;
    static constexpr int kSpacing = 8;
    static constexpr QMargins kPadding{8, 4, 8, 4};

    explicit RefreshButton(QWidget *parent) : KitButton(parent)
    {
        setObjectName(QStringLiteral("refresh"));
        setAccessibleName(label());
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    static QString label() { return QStringLiteral("Refresh"); }
    static QFont font() { return Typography::bodyFont(BodySize::Tiny, BodyWeight::Bold); }

    QSize sizeHint() const override
    {
        const QSizeF line = kit::lineSize(label(), font());
        return QSize(kPadding.left() + kIconSide + kSpacing + int(std::ceil(line.width())) + kPadding.right(),
                     kPadding.top() + std::max(kIconSide, int(std::ceil(line.height()))) + kPadding.bottom());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(stateOpacity());
        const QRectF frame = rect();
        painter.fillPath(kit::roundedRect(frame, 1000), Colors::overlay10());
        const qreal ratio = devicePixelRatioF();
        const qreal iconY = std::round((frame.height() - kIconSide) / 2 * ratio) / ratio;
        painter.drawImage(QPointF(kPadding.left(), iconY),
                          Icons::image(IconName::Refresh, kIconSide, Colors::gray100(), ratio));
        const qreal textX = kPadding.left() + kIconSide + kSpacing;
        kit::drawLine(painter, QRectF(textX, 0, frame.width() - textX - kPadding.right(), frame.height()), label(),
                      font(), Colors::gray100());
        if (hasKeyboardFocus())
            kit::drawFocusRing(painter, frame, 1000);
    }
};

BodyView *body(const QString &text, BodySize size, BodyWeight weight, const QColor &color, QWidget *parent)
{
    return new BodyView(text, size, weight, color, parent);
}

// A heading over a line of explanation, as the panel's top and its cards have.
QVBoxLayout *headingPair(const QString &heading, const QString &line, const QColor &lineColor, int spacing,
                         QWidget *parent)
{
    auto *pair = new QVBoxLayout;
    pair->setSpacing(spacing);
    pair->addWidget(body(heading, BodySize::Medium, BodyWeight::Bold, Colors::gray100(), parent));
    pair->addWidget(body(line, BodySize::Small, BodyWeight::Regular, lineColor, parent));
    return pair;
}

// Runs apart from the panel, which a refresh or the shell may destroy while the recording starts.
QCoro::Task<> joinAndRecord(CalendarWidgetServices services, CalendarEvent meeting)
{
    QPointer<MeetingRecorder> recorder(services.recorder);
    services.shell->closeMainPopover();
    if (meeting.eventUrl) {
        if (platform::format::isOpenableWebLink(*meeting.eventUrl))
            services.shell->openUrl(*meeting.eventUrl);
        else
            qCInfo(lcCalendarWidgetView) << "the meeting link is not an http(s) address; it is not opened";
    }
    if (!recorder || recorder->state() != AudioRecordingState::Stopped)
        co_return;
    try {
        QCoro::Task<> start = recorder->startPracticeRecording();
        co_await std::move(start);
    } catch (const std::exception &error) {
        qCWarning(lcCalendarWidgetView) << "the recording of a meeting could not start:" << error.what();
        if (services.errorTracker)
            services.errorTracker->captureError(error);
        // The user has gone to the meeting believing it is recorded: say that it is not.
        services.shell->showModalAlert(QStringLiteral("Unable to start recording. Please try again"), QString());
        co_return;
    }
    services.shell->showRecorderPanel();
    services.shell->showRecordingStartedPopover();
    if (recorder)
        recorder->setHasDisplayedRecordingPopover(true);
}

} // namespace

CalendarWidgetView::CalendarWidgetView(CalendarWidgetServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_zone(QTimeZone::systemTimeZone())
    , m_clockCheck(services.clock->createTimer())
    , m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("meetingsPanel"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(8);
    m_layout->addLayout(headingPair(QStringLiteral("Today"),
                                    QStringLiteral("Get tailored coaching for your upcoming meetings."),
                                    Colors::gray100(), 2, this));
    m_layout->addStretch();

    connect(m_services.manager, &CalendarManager::syncedChanged, this, &CalendarWidgetView::syncedChanged);
    connect(m_services.recorder, &MeetingRecorder::stateChanged, this, &CalendarWidgetView::updateRows);
    connect(m_clockCheck.get(), &platform::Timer::timeout, this, &CalendarWidgetView::updateRows);
    render();
}

CalendarWidgetView::~CalendarWidgetView() = default;

void CalendarWidgetView::setTimeZone(const QTimeZone &zone)
{
    m_zone = zone;
    render();
}

void CalendarWidgetView::setFrame(WidgetContainerView *frame)
{
    m_frame = frame;
    updateHeader();
}

CalendarWidgetView::State CalendarWidgetView::state() const
{
    if (!m_services.manager->isSynced())
        return State::NotConnected;
    if (m_loading)
        return State::Loading;
    if (m_failed)
        return State::Failed;
    return m_events.isEmpty() ? State::Empty : State::List;
}

QList<EventView *> CalendarWidgetView::rows() const
{
    return m_rows;
}

EventView *CalendarWidgetView::row(const QString &key) const
{
    for (EventView *candidate : m_rows) {
        if (EventView::key(candidate->event()) == key)
            return candidate;
    }
    return nullptr;
}

void CalendarWidgetView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_services.analytics) {
        event::ScreenShown shown;
        shown.screenName = event::ScreenName::CalendarView;
        m_services.analytics->send(shown);
    }
    m_clockCheck->start(kClockCheckInterval, platform::Timer::Mode::Repeating);
    if (m_services.manager->isSynced())
        refresh();
}

void CalendarWidgetView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_clockCheck->stop();
}

void CalendarWidgetView::syncedChanged(bool synced)
{
    updateHeader();
    // Connected while shown (from the card, say): read the list at once. Hidden, the next showing reads it.
    if (synced && isVisible())
        refresh();
    else
        render();
}

void CalendarWidgetView::refresh()
{
    m_loading = true;
    m_failed = false;
    render();
    runRefresh(++m_generation);
}

QCoro::Task<> CalendarWidgetView::runRefresh(quint64 generation)
{
    QPointer<CalendarWidgetView> self(this);
    platform::ErrorTracker *errorTracker = m_services.errorTracker;
    std::optional<QList<CalendarEvent>> read;
    try {
        QCoro::Task<QList<CalendarEvent>> syncing = m_services.manager->sync(true);
        read = co_await std::move(syncing);
    } catch (const std::exception &error) {
        qCWarning(lcCalendarWidgetView) << "today's meetings could not be read:" << error.what();
        if (errorTracker)
            errorTracker->captureError(error);
    }
    // A later refresh owns the panel now; its answer is the one to show.
    if (!self || self->m_generation != generation)
        co_return;
    self->m_loading = false;
    if (read)
        self->m_events = *read;
    else
        self->m_failed = true;
    self->render();
}

void CalendarWidgetView::render()
{
    const State shown = state();
    m_rows.clear();
    delete m_body;
    switch (shown) {
    case State::NotConnected:
        m_body = buildConnectCard();
        break;
    case State::Loading:
        m_body = buildPlaceholders();
        break;
    case State::Failed:
        m_body = buildFailure();
        break;
    case State::Empty:
        m_body = buildEmptyCard();
        break;
    case State::List:
        m_body = buildList();
        break;
    }
    // Between the heading and the closing stretch; the lists take all the room, the cards what they need.
    m_layout->insertWidget(1, m_body, shown == State::List || shown == State::Loading ? 1 : 0);
    updateRows();
}

void CalendarWidgetView::updateRows()
{
    const QDateTime now = m_services.clock->now();
    const AudioRecordingState recording = m_services.recorder->state();
    for (EventView *eventRow : std::as_const(m_rows))
        eventRow->refresh(now, recording);
}

void CalendarWidgetView::updateHeader()
{
    if (!m_frame)
        return;
    if (!m_services.manager->isSynced()) {
        m_frame->setHeaderRight(nullptr);
        return;
    }
    if (m_refreshButton)
        return;
    auto *button = new RefreshButton(m_frame);
    connect(button, &KitButton::clicked, this, &CalendarWidgetView::refresh);
    m_refreshButton = button;
    m_frame->setHeaderRight(button);
}

QWidget *CalendarWidgetView::scrolling(QWidget *content)
{
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("meetingsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    // The popover's background shows through; setWidget() turns the content's filling on.
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return scroll;
}

QWidget *CalendarWidgetView::buildList()
{
    auto *list = new QWidget;
    auto *column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 4);
    column->setSpacing(8);
    for (const CalendarEvent &meeting : std::as_const(m_events)) {
        auto *eventRow = new EventView(meeting, m_services.manager->hasNudge(meeting), locale(), m_zone, list);
        eventRow->setObjectName(EventView::key(meeting));
        connect(eventRow, &EventView::toggleRequested, this, [this, eventRow] { toggleNudge(eventRow); });
        connect(eventRow, &EventView::actionRequested, this, [this, meeting] { startMeeting(meeting); });
        column->addWidget(eventRow);
        m_rows.append(eventRow);
    }
    column->addStretch();
    return scrolling(list);
}

QWidget *CalendarWidgetView::buildPlaceholders()
{
    auto *list = new QWidget;
    list->setObjectName(QStringLiteral("placeholders"));
    auto *column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 4);
    column->setSpacing(8);
    for (int index = 0; index < kPlaceholderRows; ++index)
        column->addWidget(new SkeletonEventView(list));
    column->addStretch();
    return scrolling(list);
}

QWidget *CalendarWidgetView::buildEmptyCard()
{
    auto *card = new Surface(Colors::overlay10(), 8, this);
    card->setObjectName(QStringLiteral("emptyCard"));
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(16, 16, 16, 16);
    column->addLayout(headingPair(QStringLiteral("No upcoming meetings for today."),
                                  QStringLiteral("When you have meetings planned, they'll appear here."),
                                  Colors::gray100(), 4, card));
    return card;
}

QWidget *CalendarWidgetView::buildConnectCard()
{
    auto *card = new Surface(Colors::overlay10(), 8, this);
    card->setObjectName(QStringLiteral("connectCard"));
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    column->addLayout(
        headingPair(QStringLiteral("Connect Google Calendar"),
                    QStringLiteral("Connect Google Calendar in order to get notified about upcoming meetings."),
                    Colors::gray400(), 2, card));
    auto *connectButton =
        new BrandButton(QStringLiteral("Connect Google Calendar"), IconName::GoogleCalendar, BrandButton::Type::Primary,
                        BrandButton::Shape::Pill, BrandButton::Size::Small, card);
    connectButton->setObjectName(QStringLiteral("connect"));
    connectButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(connectButton, &BrandButton::clicked, this, &CalendarWidgetView::connectCalendar);
    column->addWidget(connectButton, 0, Qt::AlignLeft);
    return card;
}

QWidget *CalendarWidgetView::buildFailure()
{
    auto *banner = new ErrorBanner(
        QStringLiteral("Sorry something went wrong"), [this] { refresh(); }, this);
    banner->setObjectName(QStringLiteral("failure"));
    return banner;
}

void CalendarWidgetView::connectCalendar()
{
    analytics::sendClick(m_services.analytics, event::ScreenName::CalendarView,
                         event::ComponentName::ConnectGoogleCalendarButton);
    m_services.manager->connectCalendar();
}

void CalendarWidgetView::toggleNudge(EventView *eventRow)
{
    const bool on = m_services.manager->toggleReminder(eventRow->event());
    // The switch shows what the calendar did, also when a tip still on its way made it differ.
    eventRow->setNudgeOn(on);
    analytics::sendClick(m_services.analytics, event::ScreenName::CalendarView,
                         event::ComponentName::CalendarEventReminderToggle,
                         on ? QStringLiteral("On") : QStringLiteral("Off"));
}

void CalendarWidgetView::startMeeting(const CalendarEvent &meeting)
{
    const std::optional<QString> title = EventView::actionTitle(meeting, m_services.recorder->state());
    if (!title)
        return;
    analytics::sendClick(m_services.analytics, event::ScreenName::CalendarView,
                         event::ComponentName::StartRecordingButton, *title);
    joinAndRecord(m_services, meeting);
}

} // namespace brelta::calendar
