#include "calendar/panel/EventView.h"

#include "calendar/panel/Surface.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/components/BrandToggle.h"
#include "designsystem/components/KitPainting.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "platform/format/DateFormatters.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace brelta::calendar {

using namespace designsystem;
using recording::AudioRecordingState;

namespace {

constexpr int kPadding = 16;
constexpr qreal kRadius = 8;

// "Now" with the calendar icon, in place of the switch while the meeting runs.
QWidget *nowPill(QWidget *parent)
{
    auto *pill = new Surface(Colors::overlay10(), kRadius, parent);
    pill->setObjectName(QStringLiteral("nowPill"));
    auto *row = new QHBoxLayout(pill);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(6);
    row->addWidget(new IconView(IconName::GoogleCalendar, IconSize::Tiny, pill), 0, Qt::AlignVCenter);
    row->addWidget(new BodyView(QStringLiteral("Now"), BodySize::Tiny, BodyWeight::Regular, Colors::gray100(), pill), 0,
                   Qt::AlignVCenter);
    return pill;
}

} // namespace

bool EventView::isOngoing(const CalendarEvent &event, const QDateTime &now)
{
    return event.startDate && event.endDate && *event.startDate < now && now < *event.endDate;
}

bool EventView::startsSoon(const CalendarEvent &event, const QDateTime &now)
{
    return event.startDate && now < *event.startDate && now.secsTo(*event.startDate) <= kStartsSoonWindow.count();
}

std::optional<QString> EventView::actionTitle(const CalendarEvent &event, AudioRecordingState state)
{
    const bool hasLink = event.eventUrl.has_value();
    if (state == AudioRecordingState::Recording)
        return hasLink ? std::optional<QString>(QStringLiteral("Join")) : std::nullopt;
    return hasLink ? QStringLiteral("Join & record") : QStringLiteral("Record");
}

std::optional<QString> EventView::timeRangeText(const CalendarEvent &event, const QLocale &locale,
                                                const QTimeZone &zone)
{
    if (!event.startDate || !event.endDate)
        return std::nullopt;
    const QString start = platform::format::timeOfDay(*event.startDate, locale, zone);
    const QString end = platform::format::timeOfDay(*event.endDate, locale, zone);
    return start.section(QLatin1Char(' '), 0, 0) + QLatin1Char('-') + end.toLower().remove(QLatin1Char(' '));
}

QString EventView::key(const CalendarEvent &event)
{
    return event.id + QLatin1Char('|') + (event.startDate ? event.startDate->toUTC().toString(Qt::ISODate) : QString());
}

EventView::EventView(const CalendarEvent &event, bool nudgeOn, const QLocale &locale, const QTimeZone &zone,
                     QWidget *parent)
    : QWidget(parent)
    , m_event(event)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(16);

    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto *title = new BodyView(event.title, BodySize::Small, BodyWeight::Bold, Colors::gray100(), this);
    title->setObjectName(QStringLiteral("title"));
    // Two lines at most: a long title must not push the switch and the button out of the row.
    title->setMaximumHeight(QFontMetrics(Typography::bodyFont(BodySize::Small, BodyWeight::Bold)).lineSpacing() * 2
                            + 2);
    texts->addWidget(title);
    if (const std::optional<QString> range = timeRangeText(event, locale, zone)) {
        m_time = new BodyView(*range, BodySize::Tiny, BodyWeight::Regular, Colors::gray400(), this);
        m_time->setObjectName(QStringLiteral("time"));
        texts->addWidget(m_time);
    }
    top->addLayout(texts, 1);

    m_now = nowPill(this);
    top->addWidget(m_now, 0, Qt::AlignVCenter);

    m_notify = new QWidget(this);
    auto *notify = new QHBoxLayout(m_notify);
    notify->setContentsMargins(0, 0, 0, 0);
    notify->setSpacing(16);
    notify->addWidget(
        new BodyView(QStringLiteral("Notify me"), BodySize::Tiny, BodyWeight::Regular, Colors::gray100(), m_notify), 0,
        Qt::AlignVCenter);
    m_toggle = new BrandToggle(QString(), nudgeOn, m_notify);
    m_toggle->setObjectName(QStringLiteral("notifyMe"));
    m_toggle->setAccessibleName(QStringLiteral("Notify me"));
    // A press only: the panel sets the position itself afterwards.
    connect(m_toggle, &BrandToggle::clicked, this, &EventView::toggleRequested);
    notify->addWidget(m_toggle, 0, Qt::AlignVCenter);
    top->addWidget(m_notify, 0, Qt::AlignVCenter);
    column->addLayout(top);

    m_action = new BrandButton(QString(), std::nullopt, BrandButton::Type::Primary, BrandButton::Shape::Pill,
                               BrandButton::Size::Small, this);
    m_action->setObjectName(QStringLiteral("action"));
    m_action->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_action, &BrandButton::clicked, this, &EventView::actionRequested);
    column->addWidget(m_action, 0, Qt::AlignLeft);
}

void EventView::refresh(const QDateTime &now, AudioRecordingState state)
{
    const bool ongoing = isOngoing(m_event, now);
    m_now->setVisible(ongoing);
    m_notify->setVisible(!ongoing);
    const std::optional<QString> title = actionTitle(m_event, state);
    const bool button = (ongoing || startsSoon(m_event, now)) && title;
    if (button) {
        m_action->setTitle(*title);
        m_action->setIcon(m_event.eventUrl ? IconName::ExternalLink : IconName::Mic);
    }
    m_action->setVisible(button);
}

bool EventView::isNudgeOn() const
{
    return m_toggle->isChecked();
}

void EventView::setNudgeOn(bool on)
{
    m_toggle->setChecked(on);
}

bool EventView::showsNow() const
{
    return !m_now->isHidden();
}

std::optional<QString> EventView::shownActionTitle() const
{
    if (m_action->isHidden())
        return std::nullopt;
    return m_action->title();
}

QString EventView::timeText() const
{
    return m_time ? m_time->text() : QString();
}

void EventView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(kit::roundedRect(QRectF(rect()), kRadius), Colors::overlay20());
}

} // namespace brelta::calendar
