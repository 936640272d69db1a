#include "calendar/reminder/CalendarIntegrationReminderView.h"

#include "analytics/AnalyticsManager.h"
#include "analytics/Event.h"
#include "calendar/CalendarManager.h"
#include "calendar/reminder/ReminderPopover.h"
#include "designsystem/components/BrandButton.h"
#include "designsystem/foundation/Colors.h"
#include "designsystem/foundation/Gradients.h"
#include "designsystem/foundation/IconView.h"
#include "designsystem/foundation/TextView.h"
#include "designsystem/layout/FlexibleView.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcReminderView, "brelta.calendar.CalendarIntegrationReminderView")

namespace brelta::calendar {

using namespace designsystem;

namespace {

// The close icon sits 8 points in from the top trailing corner; its round hit area is centred on it.
constexpr int kCloseInset = 8;

BrandButton *pillButton(const QString &title, std::optional<IconName> icon, BrandButton::Type type, QWidget *parent)
{
    auto *button = new BrandButton(title, icon, type, BrandButton::Shape::Pill, BrandButton::Size::Small, parent);
    button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return button;
}

} // namespace

CalendarIntegrationReminderView::CalendarIntegrationReminderView(ReminderCardServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(0);
    column->addStretch();
    column->addWidget(new HeadingView(kHeading, HeadingSize::H3, Colors::gray100(), this));
    column->addSpacing(4);
    column->addWidget(new BodyView(kBody, BodySize::Small, BodyWeight::Regular, Colors::gray100(), this));
    column->addSpacing(24);

    // The two pills are wider together than the popover leaves inside its padding: the second one goes
    // onto a row of its own rather than past the edge.
    auto *row = new FlexibleView(8, Qt::AlignLeading);
    BrandButton *connectButton = pillButton(kConnectTitle, IconName::GoogleCalendar, BrandButton::Type::Primary, this);
    connectButton->setObjectName(QStringLiteral("connectGoogleCalendar"));
    connect(connectButton, &BrandButton::clicked, this, &CalendarIntegrationReminderView::connectCalendar);
    row->addWidget(connectButton);
    BrandButton *declineButton = pillButton(kDeclineTitle, std::nullopt, BrandButton::Type::Secondary, this);
    declineButton->setObjectName(QStringLiteral("dontRemindMe"));
    connect(declineButton, &BrandButton::clicked, this, &CalendarIntegrationReminderView::decline);
    row->addWidget(declineButton);
    column->addLayout(row);
    column->addStretch();

    // Over the column, in the top trailing corner; not part of its layout.
    m_close = new IconButton(IconName::Close, IconButton::Size::Medium, Qt::transparent, this);
    m_close->setObjectName(QStringLiteral("close"));
    m_close->setAccessibleName(QStringLiteral("Close"));
    connect(m_close, &IconButton::clicked, this, &CalendarIntegrationReminderView::dismiss);
    placeCloseButton();

    connect(m_services.manager, &CalendarManager::syncedChanged, this, [this](bool synced) {
        if (synced)
            m_services.popover->closeReminder();
    });
}

void CalendarIntegrationReminderView::connectCalendar()
{
    analytics::sendClick(m_services.analytics, analytics::event::ScreenName::GoogleCalendarIntegrationReminderPopover,
                         analytics::event::ComponentName::ConnectGoogleCalendarButton);
    if (m_services.manager->isSynced()) {
        m_services.popover->closeReminder();
        return;
    }
    // The card stays: it closes itself once the connection is made.
    m_services.manager->connectCalendar();
}

void CalendarIntegrationReminderView::decline()
{
    qCInfo(lcReminderView) << "the user asked not to be reminded to connect a calendar";
    m_services.manager->declineIntegrationReminder();
    m_services.popover->closeReminder();
}

void CalendarIntegrationReminderView::dismiss()
{
    m_services.popover->closeReminder();
}

void CalendarIntegrationReminderView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Gradients::background(QRectF(rect()), layoutDirection()));
}

void CalendarIntegrationReminderView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeCloseButton();
}

void CalendarIntegrationReminderView::placeCloseButton()
{
    const int iconSide = int(IconSize::Small);
    const int side = m_close->width();
    const QPoint iconCentre(width() - kCloseInset - iconSide / 2, kCloseInset + iconSide / 2);
    QRect area(QPoint(0, 0), QSize(side, side));
    area.moveCenter(iconCentre);
    m_close->setGeometry(QStyle::visualRect(layoutDirection(), rect(), area));
    m_close->raise();
}

} // namespace brelta::calendar
